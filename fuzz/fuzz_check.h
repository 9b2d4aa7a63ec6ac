// A property that does not hold ends the run the way a sanitizer finding
// does, so libFuzzer keeps the input that broke it.
#ifndef TAVRIN_FUZZ_FUZZ_CHECK_H
#define TAVRIN_FUZZ_FUZZ_CHECK_H

#include <stdio.h>
#include <stdlib.h>

#define FUZZ_CHECK(condition)                                                                      \
    do                                                                                             \
    {                                                                                              \
        if (!(condition))                                                                          \
        {                                                                                          \
            fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);       \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

#endif
