// Resource identifiers of the property page tests (shared with test_page.rc).
#pragma once

#define kTestPageDialog 201
#define kTestPageTitle 7
#define kTestPageButton 1001
#define kTestPageEdit 1002
