// Whether this build checks memory with AddressSanitizer: code that manages memory itself, or
// reads whole aligned words past a string's end, must keep the sanitizer's view in step.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define CRAWLMERE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CRAWLMERE_ASAN 1
#endif
#endif

#ifdef CRAWLMERE_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif
