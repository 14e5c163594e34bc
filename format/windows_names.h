#pragma once

#include <cstdint>

// Two rules of Windows itself that decide how names are reached and shown.
// They hold no call to the system, so they are checked on every system.
namespace zrk {

// Whether a reparse point with this tag sends its name elsewhere: a symbolic
// link, a junction or a mount point (Windows' "name surrogates", bit 29 of
// the tag). Other reparse points only mark data kept another way (compressed
// by the system, deduplicated, a cloud placeholder): such a file is read as
// the file it is.
constexpr bool reparseTagSendsNameElsewhere(std::uint32_t tag) {
    return (tag & 0x20000000u) != 0;
}

// Whether Windows converts text into `codePage` with a stand-in character for
// what the code page lacks and without look-alikes (WC_NO_BEST_FIT_CHARS and a
// default character). UTF-7, UTF-8 and a few others take neither: asked to,
// the conversion fails and gives nothing.
constexpr bool codePageTakesStandIns(std::uint32_t codePage) {
    constexpr std::uint32_t kSymbol = 42, kUtf7 = 65000, kUtf8 = 65001;
    bool iso2022 = codePage >= 50220 && codePage <= 50229;  // 50220 to 50222, 50225, 50227, 50229
    bool iscii = codePage >= 57002 && codePage <= 57011;
    return codePage != kSymbol && codePage != kUtf7 && codePage != kUtf8 && !iso2022 && !iscii;
}

}  // namespace zrk
