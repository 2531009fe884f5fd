// Conformance tests: the Windows API's behaviour stated with the API alone. The same sources
// build for Linux against winsim and for Windows against the real API, so each expectation
// is checked against winsim and against a Windows (Wine in CI, see scripts/conformance.sh).
//
// Only this fixture knows the platform: on Linux it gives every test a fresh simulated
// machine and attaches the test thread to a process of it; on Windows it does nothing of
// the kind. Tests keep to their own folder (Dir) and registry key (Key), both fresh and
// removed afterwards, so that they run on a real Windows too.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

#ifndef _WIN32
namespace winsim {
class Machine;
class ProcessScope;
}  // namespace winsim
#endif

namespace conformance {

// Whether the program runs under Wine (ntdll.dll exports wine_get_version there).
bool UnderWine();

// Where a known difference comes from.
enum class Source {
    Wine,    // Wine departs from the documented behaviour
    Msvcrt,  // msvcrt.dll, the Windows build's C runtime, keeps an older documented rule
    Mingw,   // mingw-w64's own header implementation departs from the documented behaviour
};

// Counts a known difference met in this run; main lists them at the end.
void NoteDifference(Source source, const char* reason);

template <typename D, typename V>
std::common_type_t<D, V> Expected(bool applies, Source source, D documented, V instead, const char* reason) {
    if (!applies) return documented;
    NoteDifference(source, reason);
    return instead;
}

// Whether a check Wine is known to fail should be left out in this run.
inline bool WineLacks(const char* reason) {
    if (!UnderWine()) return false;
    NoteDifference(Source::Wine, reason);
    return true;
}

#ifdef _WIN32
constexpr bool kWindowsBuild = true;
#else
constexpr bool kWindowsBuild = false;
#endif

}  // namespace conformance

// The value Windows gives; under Wine, and only there, the value Wine is known to give
// instead. reason names the documented behaviour Wine departs from, e.g.
//   EXPECT_EQ(WINE_DIFFERS(ERROR_X, ERROR_Y, "FooW: ... (FooW, Return value)"), GetLastError());
#define WINE_DIFFERS(windows, wine, reason) \
    ::conformance::Expected(::conformance::UnderWine(), ::conformance::Source::Wine, (windows), (wine), (reason))

// True under Wine when a documented behaviour is known to be missing there: the check it
// guards is left out, e.g. if (!WINE_LACKS("...")) EXPECT_EQ(...);
#define WINE_LACKS(reason) ::conformance::WineLacks(reason)

// The documented value; in the Windows build, linked with msvcrt.dll, the value of the
// runtime's older documented rule. winsim follows the current documentation.
#define MSVCRT_DIFFERS(documented, msvcrt, reason)                                                               \
    ::conformance::Expected(::conformance::kWindowsBuild, ::conformance::Source::Msvcrt, (documented), (msvcrt), \
                            (reason))

// The documented value; in the Windows build the value of mingw-w64's own inline
// implementation (strsafe.h), which departs from the documentation.
#define MINGW_DIFFERS(documented, mingw, reason) \
    ::conformance::Expected(::conformance::kWindowsBuild, ::conformance::Source::Mingw, (documented), (mingw), (reason))

class ConformanceTest : public ::testing::Test {
protected:
    ConformanceTest();
    ~ConformanceTest() override;

    // The test's own folder below the temporary folder, made on first use (no trailing
    // separator), and a path in it.
    const std::wstring& Dir();
    std::wstring Path(const std::wstring& name) { return Dir() + L"\\" + name; }

    // The test's own key below HKEY_CURRENT_USER\Software, made on first use: its path
    // relative to HKEY_CURRENT_USER and a handle with all access.
    const std::wstring& KeyPath();
    HKEY Key();

    // The path of this program's image, which carries the version resource of
    // conformance_version.h.
    std::wstring ImageWithVersion();

private:
#ifndef _WIN32
    std::unique_ptr<winsim::Machine> machine_;
    std::unique_ptr<winsim::ProcessScope> scope_;
#endif
    std::wstring dir_;
    std::wstring key_path_;
    HKEY key_ = nullptr;
};
