// What the controller shows and sends: button captions and hints (UTF-16,
// so that no ANSI code page can change a letter of them), image files,
// message boxes, and the texts of the start and stop messages.
#pragma once

#include "peer_link/wire.h"

namespace bridge::texts {

// The status button.
inline constexpr wchar_t kActive[] = L"Aktiv";
inline constexpr wchar_t kInactive[] = L"Inaktiv";
inline constexpr wchar_t kActiveHint[] = L"Das Quabo Plugin ist aktiv";
inline constexpr wchar_t StatusButtonHint[] =
    L"Das Quabo Plugin ist inaktiv. Es konnte keine Verbindung zwischen Quabo und BimVision aufgebaut werden.";
inline constexpr char kStatusImage[] = "VidudUDE_32x32.png";

// The create-lines button.
inline constexpr wchar_t kCreateLines[] = L"Aufma\u00DFzeilen erzeugen";
// Ends with a blank after the full stop.
inline constexpr wchar_t LinesButtonHint[] =
    L"Sendet die GUIDs der ausgew\u00E4hlten Bauteile an Quabo und erzeugt pro Bauteil eine Aufma\u00DFzeile in der "
    L"Quabo Aufma\u00DFerfassung (Dlg. 4213). ";
inline constexpr char kCreateLinesImage[] = "AufmErzeugen_32x32.png";

// Where the button images are installed, below the program files folder.
inline constexpr char kImageFolder[] = "\\Datacomp\\BIM Vision\\plugins\\VidudUDE_data\\";

// Sent to the peers when the plug-in starts and stops.
inline constexpr char kStartMessage[] = VIDUDUDE_START_TEXT;
inline constexpr char kEndMessage[] = VIDUDUDE_END_TEXT;

// Message boxes: text and caption.
inline constexpr char kSendFailed[] = "Fehler in VidudUDE.DLL-Message_Sender";
inline constexpr char kSendFailedCaption[] = "Message_Sender";
// Followed by the object count.
inline constexpr char kIndexFailed[] = "Fehler beim Aufbau der oGuidObjIDList\\nAnzahl: ";
inline constexpr char kIndexFailedCaption[] = "Object_ID <=> GUID";
inline constexpr char kSelectionFailed[] = "Fehler beim Schreiben der GUID.QUABO";
inline constexpr char kSelectionFailedCaption[] = "SELECTED";
inline constexpr char kViewStateFailed[] = "Achtung hier liegt ein Fehler vor.";
inline constexpr char kViewStateFailedCaption[] = "Plugin VidudUDE.DLL";

}  // namespace bridge::texts
