// The plug-in's constant texts, as the viewer reads them (UTF-16). They are
// constants with static storage, so the pointers handed to the viewer stay
// valid for as long as the library is loaded.
#pragma once

namespace plugin {

extern const wchar_t* const PluginName;
extern const wchar_t* const PluginProducer;
extern const wchar_t* const PluginWebAddress;
extern const wchar_t* const PluginEmail;
extern const wchar_t* const PluginDescription;
extern const wchar_t* const StatusButtonHint;
extern const wchar_t* const LinesButtonHint;

}  // namespace plugin
