/* SPDX-License-Identifier: MIT */
/* Copyright (c) 2026 Beispiel Bausoftware GmbH */
/*
 * vidudude_peer.h: everything a peer application needs to talk to the
 * VidudUDE plug-in of the BIM Vision viewer. Plain C (C99) that compiles as
 * C++ too, with nothing but <windows.h>; include it and go. docs/protocol.md
 * describes the link; vidudude_link.h is a link client on this header that
 * does the link's own rules, and sample_peer.c a complete small peer on it.
 * The file is plain ASCII, so that any compiler reads it alike.
 *
 * The link in short: the plug-in sends WM_COPYDATA messages to your main
 * window (a top-level window of class "TMainForm" in a process named
 * QUABO.EXE or QUABO_BIMPROJECT.EXE), each with a VIDUDUDE_MSG_* code in
 * dwData, "<viewer pid>|<text>" as the payload, and its own hidden window in
 * wParam. You send VIDUDUDE_CMD_* commands to that hidden window, with your
 * main window in wParam, and get a VIDUDUDE_REPLY_* back.
 */
/* The wire: every code, reply, name and timeout of the link, defined here
   once; the plug-in and its tools read them from this header too. Define
   VIDUDUDE_PEER_WIRE_ONLY before the include for this part alone, which
   needs no header at all. */
#ifndef VIDUDUDE_PEER_WIRE
#define VIDUDUDE_PEER_WIRE

/* Messages the plug-in sends to your main window (COPYDATASTRUCT.dwData). */
#define VIDUDUDE_MSG_START 1        /* text "Bim Start": the viewer started the plug-in; connect now */
#define VIDUDUDE_MSG_END 2          /* text "BIM end": the plug-in stops; forget its window */
#define VIDUDUDE_MSG_MODEL_PATH 4   /* the path of the model the viewer loaded */
#define VIDUDUDE_MSG_SELECTION 6    /* the selected elements' GUIDs, joined by CR LF; "0" for none */
#define VIDUDUDE_MSG_CREATE_LINES 9 /* the lines button pressed: create one measurement line per GUID */

#define VIDUDUDE_START_TEXT "Bim Start"
#define VIDUDUDE_END_TEXT "BIM end"
/* The GUID list that stands for "nothing selected". */
#define VIDUDUDE_NO_GUIDS "0"

/* The plug-in's replies: what vidudude_send_command() gives in *reply. */
#define VIDUDUDE_REPLY_TAKEN 2001          /* the command was carried out */
#define VIDUDUDE_REPLY_NOT_A_COMMAND 2000  /* an unknown code: nothing was done */
#define VIDUDUDE_REPLY_MODEL_NOT_LOADED 21 /* no model came of the command (see each command) */
#define VIDUDUDE_REPLY_LINK_FULL 22        /* connect: five programs are connected already; nothing changed */

/* Commands you send to the plug-in's window (COPYDATASTRUCT.dwData), each
   answered VIDUDUDE_REPLY_TAKEN unless its line names another reply. */
#define VIDUDUDE_CMD_CONNECT 1      /* text ignored; wParam: your main window, a target from now on */
#define VIDUDUDE_CMD_DISCONNECT 2   /* text ignored; ends the link and closes the viewer */
#define VIDUDUDE_CMD_LOAD_MODEL 5   /* the path of an IFC file; VIDUDUDE_REPLY_MODEL_NOT_LOADED: not loaded */
#define VIDUDUDE_CMD_SELECT 6       /* a GUID list (CR LF between GUIDs) to select; "0" clears */
#define VIDUDUDE_CMD_PING 7         /* text ignored; does nothing: is the plug-in there? */
#define VIDUDUDE_CMD_RESTORE_VIEW 8 /* a view state as hexadecimal text */
#define VIDUDUDE_CMD_LINES_BUTTON 9 /* "active" enables the lines button, any other text greys it */
/* Text ignored; the open model's path comes again as VIDUDUDE_MSG_MODEL_PATH, to the
   same target as after a load; VIDUDUDE_REPLY_MODEL_NOT_LOADED: no model, nothing sent. */
#define VIDUDUDE_CMD_SEND_MODEL_PATH 10
/* Command 11: the selection goes again as after a change, to the same targets;
   VIDUDUDE_REPLY_MODEL_NOT_LOADED: no model, not connected, or the viewer could
   not tell it; nothing sent. Command 12: your window leaves the connected peers;
   the others keep the link. */
/* clang-format off */
#define VIDUDUDE_CMD_SEND_SELECTION 11   /* text ignored; the current selection comes again as VIDUDUDE_MSG_SELECTION ... */
#define VIDUDUDE_CMD_LEAVE 12            /* text ignored; your window leaves the link; the viewer stays open */
/* clang-format on */
/* The earlier name of VIDUDUDE_CMD_PING: peers written with it still compile. */
#define VIDUDUDE_CMD_NONE VIDUDUDE_CMD_PING

#define VIDUDUDE_LINES_BUTTON_ACTIVE "active"

/* The commands the plug-in knows, one ROW(code, reads_text, other_reply,
   other_meaning) each: reads_text is 1 when the plug-in reads the command's
   text; other_reply is the one reply besides VIDUDUDE_REPLY_TAKEN that the
   command may give (0 for none) and other_meaning what it means there. Any
   code not in the table is answered VIDUDUDE_REPLY_NOT_A_COMMAND and does
   nothing. Expand it with a ROW macro of your own, as
   vidudude_reply_meaning() does. */
#define VIDUDUDE_COMMANDS(ROW)                                                              \
  ROW(VIDUDUDE_CMD_CONNECT, 0, VIDUDUDE_REPLY_LINK_FULL, "the link is full")                \
  ROW(VIDUDUDE_CMD_DISCONNECT, 0, 0, "")                                                    \
  ROW(VIDUDUDE_CMD_LOAD_MODEL, 1, VIDUDUDE_REPLY_MODEL_NOT_LOADED, "model not loaded")      \
  ROW(VIDUDUDE_CMD_SELECT, 1, 0, "")                                                        \
  ROW(VIDUDUDE_CMD_PING, 0, 0, "")                                                          \
  ROW(VIDUDUDE_CMD_RESTORE_VIEW, 1, 0, "")                                                  \
  ROW(VIDUDUDE_CMD_LINES_BUTTON, 1, 0, "")                                                  \
  ROW(VIDUDUDE_CMD_SEND_MODEL_PATH, 0, VIDUDUDE_REPLY_MODEL_NOT_LOADED, "no model loaded")  \
  ROW(VIDUDUDE_CMD_SEND_SELECTION, 0, VIDUDUDE_REPLY_MODEL_NOT_LOADED, "no selection sent") \
  ROW(VIDUDUDE_CMD_LEAVE, 0, 0, "")

/* Window classes: the plug-in's hidden window, and the one your main window
   must have (a class name that begins with it qualifies too). */
#define VIDUDUDE_PLUGIN_WINDOW_CLASS "VidudUDE.MessageWindow"
#define VIDUDUDE_PEER_WINDOW_CLASS "TMainForm"

/* The executable names under which the plug-in finds a peer (any letter
   case); under any other name you only hear from it after connecting. */
#define VIDUDUDE_PEER_EXE "QUABO.EXE"
#define VIDUDUDE_PEER_EXE_BIMPROJECT "QUABO_BIMPROJECT.EXE"

/* How long a command waits for the plug-in's reply. A load waits until the
   viewer has read the model, which takes long for a large one. */
#define VIDUDUDE_COMMAND_TIMEOUT_MS 10000
#define VIDUDUDE_LOAD_TIMEOUT_MS 300000
/* How long the plug-in waits for your reply to each of its messages. */
#define VIDUDUDE_PLUGIN_SEND_TIMEOUT_MS 10000

#endif /* VIDUDUDE_PEER_WIRE */

#if !defined(VIDUDUDE_PEER_WIRE_ONLY) && !defined(VIDUDUDE_PEER_H)
#define VIDUDUDE_PEER_H

#include <windows.h>

#if defined(__cplusplus)
#define VIDUDUDE_FUNCTION inline
#define VIDUDUDE_AS(type, value) static_cast<type>(value)
#define VIDUDUDE_HANDLE_AS(type, handle) reinterpret_cast<type>(handle)
#define VIDUDUDE_WRITABLE(text) const_cast<char *>(text)
#elif defined(_MSC_VER)
#define VIDUDUDE_FUNCTION static __inline
#define VIDUDUDE_AS(type, value) ((type)(value))
#define VIDUDUDE_HANDLE_AS(type, handle) ((type)(handle))
#define VIDUDUDE_WRITABLE(text) ((char *)(ULONG_PTR)(text))
#else
#define VIDUDUDE_FUNCTION static inline
#define VIDUDUDE_AS(type, value) ((type)(value))
#define VIDUDUDE_HANDLE_AS(type, handle) ((type)(handle))
#define VIDUDUDE_WRITABLE(text) ((char *)(ULONG_PTR)(text))
#endif

/* One message from the plug-in, split into its parts. text points into the
   message's own bytes, which live only while you handle the message: copy
   the length bytes before you return. The text has no NUL of its own when
   the sender left it out, so always go by length. */
typedef struct VIDUDUDE_MESSAGE {
  DWORD code;
  DWORD viewerPid;
  const char *text;
  size_t length;
} VIDUDUDE_MESSAGE;

/* Splits the payload "<pid>|<text>" of a received WM_COPYDATA. Reads no more
   than cbData bytes: the text ends at the first NUL or after the last byte.
   FALSE when the payload is not of that form (no data, no "|" within
   cbData, a pid that is not 1 to 10 decimal digits or exceeds 32 bits). */
VIDUDUDE_FUNCTION BOOL vidudude_split_message(const COPYDATASTRUCT *data, VIDUDUDE_MESSAGE *message) {
  const char *bytes;
  size_t size, i, end;
  DWORD pid = 0;
  if (!data || !message || !data->lpData) return FALSE;
  bytes = VIDUDUDE_AS(const char *, data->lpData);
  size = data->cbData;
  for (i = 0; i < size && bytes[i] != '|'; ++i) {
    DWORD digit;
    if (bytes[i] < '0' || bytes[i] > '9' || i >= 10) return FALSE;
    digit = VIDUDUDE_AS(DWORD, bytes[i] - '0');
    if (pid > (0xFFFFFFFFu - digit) / 10u) return FALSE;
    pid = pid * 10u + digit;
  }
  if (i == 0 || i == size) return FALSE;
  end = i + 1;
  while (end < size && bytes[end] != '\0') ++end;
  message->code = VIDUDUDE_AS(DWORD, data->dwData);
  message->viewerPid = pid;
  message->text = bytes + i + 1;
  message->length = end - (i + 1);
  return TRUE;
}

/* The plug-in's hidden window in the viewer process viewerPid (the pid that
   its messages carry, or that of a viewer you started); with viewerPid 0,
   the first one found in any viewer. NULL when there is none. Look it up
   again after every "Bim Start": each plug-in start makes a new window. */
VIDUDUDE_FUNCTION HWND vidudude_find_plugin_window(DWORD viewerPid) {
  HWND window = NULL;
  while ((window = FindWindowExA(NULL, window, VIDUDUDE_PLUGIN_WINDOW_CLASS, NULL)) != NULL) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (viewerPid == 0 || pid == viewerPid) return window;
  }
  return NULL;
}

/* Puts a path into the ANSI code page for VIDUDUDE_CMD_LOAD_MODEL. Never by
   best fit, which turns a Polish L with stroke into a plain L: that names
   another folder, and the viewer would load whatever model lies there. A
   path with a letter that the code page lacks goes as its short (8.3) name
   once that proves to open the very file the path names: a file system may
   make a short name from the long one alone (Wine does), and another
   folder may have it as its real name. FALSE when neither works (no such
   file, the file system keeps no short names, or the short name opens
   another file, when the buffer is left empty) or buffer is too small: that
   path cannot cross the link. FALSE too, with nothing written, for a null
   path or buffer or a size below 1. */
VIDUDUDE_FUNCTION BOOL vidudude_path_to_ansi(const WCHAR *path, char *buffer, int size) {
  /* A UTF-8 code page takes every letter, and refuses the no-best-fit flag. */
  const BOOL utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL lossy = FALSE;
  BOOL *const lossyOut = utf8 ? NULL : &lossy;
  /* No access asked for: the identity is readable even while another
     program holds the file open. */
  const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  WCHAR *shortPath;
  DWORD length, written;
  HANDLE byAnsi, byWide;
  BY_HANDLE_FILE_INFORMATION ansiFile, wideFile;
  BOOL same = FALSE;
  int converted = 0;
  /* A size of 0 would only ask for the length needed, and report success. */
  if (!path || !buffer || size < 1) return FALSE;
  if (WideCharToMultiByte(CP_ACP, flags, path, -1, buffer, size, NULL, lossyOut) > 0 && !lossy) return TRUE;
  length = GetShortPathNameW(path, NULL, 0);
  if (length == 0) return FALSE;
  shortPath = VIDUDUDE_AS(WCHAR *, HeapAlloc(GetProcessHeap(), 0, length * sizeof(WCHAR)));
  if (!shortPath) return FALSE;
  written = GetShortPathNameW(path, shortPath, length);
  lossy = FALSE;
  if (written > 0 && written < length) {
    converted = WideCharToMultiByte(CP_ACP, flags, shortPath, -1, buffer, size, NULL, lossyOut);
  }
  HeapFree(GetProcessHeap(), 0, shortPath);
  if (converted <= 0 || lossy) return FALSE;
  /* Volume and file index tell two names of one file from two files. */
  byAnsi = CreateFileA(buffer, 0, shareAll, NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
  byWide = CreateFileW(path, 0, shareAll, NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
  if (byAnsi != INVALID_HANDLE_VALUE && byWide != INVALID_HANDLE_VALUE &&
      GetFileInformationByHandle(byAnsi, &ansiFile) && GetFileInformationByHandle(byWide, &wideFile)) {
    same = ansiFile.dwVolumeSerialNumber == wideFile.dwVolumeSerialNumber &&
           ansiFile.nFileIndexHigh == wideFile.nFileIndexHigh && ansiFile.nFileIndexLow == wideFile.nFileIndexLow;
  }
  if (byAnsi != INVALID_HANDLE_VALUE) CloseHandle(byAnsi);
  if (byWide != INVALID_HANDLE_VALUE) CloseHandle(byWide);
  if (!same) buffer[0] = '\0';
  return same;
}

/* What reply means as the answer to command, for a log: "taken", the
   command's own meaning of its other reply, or "not a command" for
   VIDUDUDE_REPLY_NOT_A_COMMAND to a code the table lacks. A command the
   plug-in knows is answered VIDUDUDE_REPLY_NOT_A_COMMAND only while it
   stops, or by a plug-in older than the command. "" for a reply the
   plug-in never gives to that code (any other reply to an unknown one). */
VIDUDUDE_FUNCTION const char *vidudude_reply_meaning(DWORD command, DWORD reply) {
#define VIDUDUDE_MEANING_ROW(code, reads_text, other_reply, other_meaning)                                           \
  if (command == (code)) {                                                                                           \
    if (reply == VIDUDUDE_REPLY_TAKEN) return "taken";                                                               \
    if (reply == VIDUDUDE_REPLY_NOT_A_COMMAND) return "not carried out: the plug-in stops, or predates the command"; \
    if ((other_reply) != 0 && reply == VIDUDUDE_AS(DWORD, other_reply)) return other_meaning;                        \
    return "";                                                                                                       \
  }
  VIDUDUDE_COMMANDS(VIDUDUDE_MEANING_ROW)
#undef VIDUDUDE_MEANING_ROW
  return reply == VIDUDUDE_REPLY_NOT_A_COMMAND ? "not a command" : "";
}

/* Sends one command with its text (NULL for none) to the plug-in's window
   and waits for the reply, VIDUDUDE_LOAD_TIMEOUT_MS for a load and
   VIDUDUDE_COMMAND_TIMEOUT_MS for the others. from is your main window.
   Call it on the thread that owns from, or on a worker thread while that
   thread handles its messages and never waits for the worker: the plug-in
   sends to from meanwhile (a load sends the model path).
   TRUE with *reply set when the plug-in answered; FALSE when it did not
   answer in time or its window has gone (GetLastError tells which). */
VIDUDUDE_FUNCTION BOOL vidudude_send_command(HWND pluginWindow, HWND from, DWORD command, const char *text,
                                             DWORD *reply) {
  COPYDATASTRUCT data;
  DWORD_PTR result = 0;
  const UINT timeout = command == VIDUDUDE_CMD_LOAD_MODEL ? VIDUDUDE_LOAD_TIMEOUT_MS : VIDUDUDE_COMMAND_TIMEOUT_MS;
  if (!text) text = "";
  data.dwData = command;
  data.cbData = VIDUDUDE_AS(DWORD, lstrlenA(text) + 1);
  data.lpData = VIDUDUDE_WRITABLE(text);
  if (!SendMessageTimeoutA(pluginWindow, WM_COPYDATA, VIDUDUDE_HANDLE_AS(WPARAM, from),
                           VIDUDUDE_HANDLE_AS(LPARAM, &data), SMTO_NORMAL, timeout, &result)) {
    return FALSE;
  }
  if (reply) *reply = VIDUDUDE_AS(DWORD, result);
  return TRUE;
}

/* The helpers are the header's own: none stays defined for the code that
   includes it. */
#undef VIDUDUDE_FUNCTION
#undef VIDUDUDE_AS
#undef VIDUDUDE_HANDLE_AS
#undef VIDUDUDE_WRITABLE

#endif /* VIDUDUDE_PEER_H */
