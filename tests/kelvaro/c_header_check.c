/* Both library headers must compile as C, side by side (their common
 * functions are declared identically). */
#include "kelvaro/kelvaro.h"
#include "ruvasko/ruvasko.h"

unsigned orvana_c_string_length(const char* text) {
    return kelvaro_string_length(text) == ruvasko_string_length(text)
               ? (unsigned)kelvaro_string_length(text)
               : 0xFFFFFFFFu;
}
