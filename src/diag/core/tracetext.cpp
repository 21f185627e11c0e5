#include "diag/core/tracetext.h"

namespace dorvane {

size_t FinishTraceLine(char16_t* buffer, size_t length) {
    if (length > kTraceTextLimit) {
        length = kTraceTextLimit;
    }
    if (length == 0 || buffer[length - 1] != u'\n') {
        buffer[length++] = u'\r';
        buffer[length++] = u'\n';
    }
    buffer[length] = u'\0';
    return length;
}

}  // namespace dorvane
