// What the exports hand the viewer: the plug-in's description, as the
// viewer reads it (UTF-16), and the message shown when the plug-in cannot
// start. String literals have static storage, so the pointers handed to the
// viewer stay valid for as long as the library is loaded.
#pragma once

namespace plugin {

inline constexpr const wchar_t* PluginName = L"Quabo BimVision DLL";
inline constexpr const wchar_t* PluginProducer = L"Beispiel Bausoftware GmbH, Musterstra\u00DFe 1, 12345 Musterstadt";
inline constexpr const wchar_t* PluginWebAddress = L"https://www.vidudude.example";
inline constexpr const wchar_t* PluginEmail = L"support@vidudude.example";
inline constexpr const wchar_t* PluginDescription = L"Plugin zur Anbindung Quabo <=> BIM Vision";
inline constexpr const char* StartFailed = "VidudUDE.DLL konnte nicht gestartet werden.";
inline constexpr const char* StartFailedCaption = "Plugin VidudUDE.DLL";

}  // namespace plugin
