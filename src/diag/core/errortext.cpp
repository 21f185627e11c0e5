#include "diag/core/errortext.h"

namespace dorvane {

namespace {

void AppendUnsigned(std::u16string& out, uint32_t value, uint32_t base) {
    char16_t digits[16];
    size_t count = 0;
    do {
        const uint32_t digit = value % base;
        digits[count++] = static_cast<char16_t>(digit < 10 ? u'0' + digit : u'a' + (digit - 10));
        value /= base;
    } while (value != 0);
    while (count > 0) {
        out.push_back(digits[--count]);
    }
}

}  // namespace

std::u16string_view StripTrailingControls(std::u16string_view text) {
    while (!text.empty() && text.back() < u' ') {
        text.remove_suffix(1);
    }
    return text;
}

std::u16string ErrorIdText(uint32_t code) {
    std::u16string text = u"error-ID = ";
    AppendUnsigned(text, code, 10);
    return text;
}

std::u16string ErrorIdText(uint32_t code, std::u16string_view systemText) {
    std::u16string text = ErrorIdText(code);
    text += u'\n';
    text += StripTrailingControls(systemText);
    return text;
}

std::u16string ErrorReportText(std::u16string_view message, std::u16string_view errorText) {
    std::u16string text = u"*Error: ";
    text += message;
    text += u"\t\n";
    text += errorText;
    return text;
}

std::u16string FormatFailureText(uint32_t code, std::u16string_view reason, size_t capacityChars) {
    std::u16string text = u"FormatMessage failed on error 0x";
    AppendUnsigned(text, code, 16);
    text += u" for the following reason: ";
    text += reason;
    if (capacityChars == 0) {
        return {};
    }
    if (text.size() > capacityChars - 1) {
        text.resize(capacityChars - 1);
    }
    return text;
}

}  // namespace dorvane
