#pragma once
// The texts the dialogs show outside their templates.

#include <string>

namespace veltra {

inline constexpr wchar_t kMainCaption[] = L"Veltra（riZ5）";
inline constexpr wchar_t kAboutCaption[] = L"关于";

// The about and help text: ten lines joined by CR LF, none after the last.
const std::wstring& AboutText();

// What the user reads when the messenger cannot open its port; error is the socket error code.
std::wstring EngineStartFailedText(int error);

// CR LF line breaks as the toolkit's message boxes and labels want them: LF alone.
std::wstring ForDisplay(std::wstring text);

}  // namespace veltra
