#include "plugin/plugin_texts.h"

namespace plugin {

const wchar_t* const PluginName = L"Quabo BimVision DLL";
const wchar_t* const PluginProducer = L"Beispiel Bausoftware GmbH, Musterstra\u00DFe 1, 12345 Musterstadt";
const wchar_t* const PluginWebAddress = L"https://www.vidudude.example";
const wchar_t* const PluginEmail = L"support@vidudude.example";
const wchar_t* const PluginDescription = L"Plugin zur Anbindung Quabo <=> BIM Vision";
const wchar_t* const StatusButtonHint =
    L"Das Quabo Plugin ist inaktiv. Es konnte keine Verbindung zwischen Quabo und BimVision aufgebaut werden.";
const wchar_t* const LinesButtonHint =
    L"Sendet die GUIDs der ausgew\u00E4hlten Bauteile an Quabo und erzeugt pro Bauteil eine Aufma\u00DFzeile in der "
    L"Quabo Aufma\u00DFerfassung (Dlg. 4213). ";

}  // namespace plugin
