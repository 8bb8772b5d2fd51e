#include "CodePage.h"

#include "Error.h"

#include <unicode/ucnv.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace torvi {

namespace {

using Converter = std::unique_ptr<UConverter, decltype(&ucnv_close)>;

Converter OpenConverter(int codePage) {
    const std::string name = "windows-" + std::to_string(codePage);
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(name.c_str(), &status), &ucnv_close);
    if (U_FAILURE(status) || !converter)
        throw Error("Cannot convert text to code page " + std::to_string(codePage) + " (" +
                    u_errorName(status) + ")");
    // No best-fit guesses (r for ř): a character the code page lacks is "?".
    ucnv_setFallback(converter.get(), false);
    status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &status);
    return converter;
}

// The bytes of one character, or "" when the code page has none for it.
std::string Encode(UConverter* converter, const UChar* text, int32_t length) {
    char bytes[16];
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(converter);
    const int32_t n = ucnv_fromUChars(converter, bytes, sizeof bytes, text, length, &status);
    if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING) return {};
    return std::string(bytes, static_cast<std::size_t>(n));
}

// Windows-1258 holds the Vietnamese vowels with their shape marks (â, ơ, ư)
// but the five tone marks only as combining characters: ệ is ê and a
// combining dot below. Tries each mark of the canonical decomposition as the
// one written apart.
std::string EncodeDecomposed(UConverter* converter, const UChar* character, int32_t length) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    if (U_FAILURE(status)) return {};
    UChar parts[16];
    const int32_t count = unorm2_normalize(nfd, character, length, parts, 16, &status);
    if (U_FAILURE(status) || count < 2) return {};
    for (int32_t mark = 1; mark < count; ++mark) {
        UChar rest[16];
        int32_t restLength = 0;
        for (int32_t i = 0; i < count; ++i)
            if (i != mark) rest[restLength++] = parts[i];
        UChar base[16];
        const int32_t baseLength = unorm2_normalize(nfc, rest, restLength, base, 16, &status);
        if (U_FAILURE(status)) return {};
        const std::string baseBytes = Encode(converter, base, baseLength);
        const std::string markBytes = Encode(converter, &parts[mark], 1);
        if (!baseBytes.empty() && !markBytes.empty()) return baseBytes + markBytes;
    }
    return {};
}

} // namespace

bool IsResultCodePage(int codePage) {
    return std::find(ResultCodePages.begin(), ResultCodePages.end(), codePage) !=
           ResultCodePages.end();
}

std::string CodePageFromUtf8(std::string_view text, int codePage) {
    if (!IsResultCodePage(codePage))
        throw Error("Cannot convert text to code page " + std::to_string(codePage));
    const Converter converter = OpenConverter(codePage);

    // Every byte of a broken sequence becomes U+FFFD, which no code page
    // holds, so each gives one "?".
    std::vector<UChar> wide(text.size() + 1);
    int32_t wideLength = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(wide.data(), static_cast<int32_t>(wide.size()), &wideLength, text.data(),
                         static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) return std::string(text.size(), '?');

    std::string out;
    out.reserve(text.size());
    for (int32_t at = 0; at < wideLength;) {
        const int32_t start = at;
        UChar32 c = 0;
        U16_NEXT(wide.data(), at, wideLength, c);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        std::string bytes;
        if (c >= 0xA0) bytes = Encode(converter.get(), wide.data() + start, at - start);
        if (bytes.empty() && codePage == 1258)
            bytes = EncodeDecomposed(converter.get(), wide.data() + start, at - start);
        out += bytes.empty() ? std::string("?") : bytes;
    }
    return out;
}

} // namespace torvi
