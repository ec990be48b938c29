// The DirectShow framework layer in one include: COM helpers, media types,
// filters, pins, the streaming thread, the allocator, enumerators, the class
// factory and the property page base.
#pragma once

#include "filter/framework/com_support.h"
#include "filter/framework/media_type.h"
#include "filter/framework/unknown_base.h"
#include "filter/framework/filter_base.h"
#include "filter/framework/source_filter_base.h"
#include "filter/framework/pin_base.h"
#include "filter/framework/output_pin_base.h"
#include "filter/framework/mem_allocator.h"
#include "filter/framework/stream_thread.h"
#include "filter/framework/source_stream_pin.h"
#include "filter/framework/enumerators.h"
#include "filter/framework/class_factory.h"
#include "filter/framework/property_page_base.h"
