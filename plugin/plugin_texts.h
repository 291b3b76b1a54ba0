// The plug-in's constant texts, as the viewer reads them (UTF-16), and the
// message shown when the plug-in cannot start. String literals have static
// storage, so the pointers handed to the viewer stay valid for as long as
// the library is loaded. This header includes nothing: the controller reads
// the button hints from here.
#pragma once

namespace plugin {

inline constexpr const wchar_t* PluginName = L"Quabo BimVision DLL";
inline constexpr const wchar_t* PluginProducer = L"Beispiel Bausoftware GmbH, Musterstra\u00DFe 1, 12345 Musterstadt";
inline constexpr const wchar_t* PluginWebAddress = L"https://www.vidudude.example";
inline constexpr const wchar_t* PluginEmail = L"support@vidudude.example";
inline constexpr const wchar_t* PluginDescription = L"Plugin zur Anbindung Quabo <=> BIM Vision";
inline constexpr const wchar_t* StatusButtonHint =
    L"Das Quabo Plugin ist inaktiv. Es konnte keine Verbindung zwischen Quabo und BimVision aufgebaut werden.";
inline constexpr const wchar_t* LinesButtonHint =
    L"Sendet die GUIDs der ausgew\u00E4hlten Bauteile an Quabo und erzeugt pro Bauteil eine Aufma\u00DFzeile in der "
    L"Quabo Aufma\u00DFerfassung (Dlg. 4213). ";

inline constexpr const char* StartFailed = "VidudUDE.DLL konnte nicht gestartet werden.";
inline constexpr const char* StartFailedCaption = "Plugin VidudUDE.DLL";

}  // namespace plugin
