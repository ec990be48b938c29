// The controlling unknown behind the filter's embedded interfaces.
#include "control/filter_interface.h"

#include "filter/capture_source_filter.h"

IUnknown *FilterIdentity(CaptureSourceFilter &filter) {
    return filter.Owner();
}
