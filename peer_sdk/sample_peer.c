/* SPDX-License-Identifier: MIT */
/*
 * sample_peer.c: a small but complete peer of the VidudUDE plug-in, to start
 * your own from. Start it under a peer's name, for example as QUABO.EXE:
 *
 *   QUABO.EXE [viewer-pid]
 *
 * It keeps a hidden main window of class TMainForm, prints every message of
 * the plug-in with a time stamp, connects at its start when a viewer already
 * runs (to the viewer with that pid, or to the first found) and whenever a
 * plug-in announces its start, and sends each line typed on stdin as a
 * command: "CODE TEXT", for example "9 active", "5 C:\Projekte\Haus.ifc" or
 * "2". In TEXT, \r and \n stand for CR and LF (a GUID list is
 * "GUID\r\nGUID") and \\ for a backslash. The end of input ends the peer.
 */
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vidudude_peer.h"

/* Posted to the main window, so that the work is done on its thread after
   the message that asked for it has been answered. */
#define WM_APP_RECEIVED (WM_APP + 1) /* lParam: a struct received, to act on */
#define WM_APP_TYPED (WM_APP + 2)    /* lParam: a typed line, to send */

#define MAX_LINE 65536

struct received {
  DWORD code;
  DWORD viewer_pid;
  HWND plugin;
  SYSTEMTIME arrived;
  char text[]; /* the copied text, NUL-terminated */
};

static HWND main_window;
static HWND plugin_window; /* the plug-in we talk to; NULL while none runs */

static void print_time(const SYSTEMTIME *time) {
  printf("%02u:%02u:%02u.%03u ", time->wHour, time->wMinute, time->wSecond, time->wMilliseconds);
}

/* printf with a time stamp, flushed: a pipe's reader sees each line at once. */
static void say(const char *format, ...) {
  SYSTEMTIME now;
  va_list args;
  GetLocalTime(&now);
  print_time(&now);
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
  fflush(stdout);
}

/* Texts are printed in C notation, so CR LF and other bytes stay visible. */
static void print_quoted(const char *text, size_t length) {
  size_t i;
  putchar('"');
  for (i = 0; i < length; ++i) {
    const unsigned char c = (unsigned char)text[i];
    if (c == '\r')
      printf("\\r");
    else if (c == '\n')
      printf("\\n");
    else if (c == '"' || c == '\\')
      printf("\\%c", c);
    else if (c < 0x20 || c >= 0x7F)
      printf("\\x%02X", c);
    else
      putchar(c);
  }
  printf("\"\n");
  fflush(stdout);
}

static const char *message_name(DWORD code) {
  switch (code) {
    case VIDUDUDE_MSG_START:
      return "plug-in started";
    case VIDUDUDE_MSG_END:
      return "plug-in stops";
    case VIDUDUDE_MSG_MODEL_PATH:
      return "model path";
    case VIDUDUDE_MSG_SELECTION:
      return "selection";
    case VIDUDUDE_MSG_CREATE_LINES:
      return "create measurement lines";
    default:
      return "unknown code";
  }
}

static void send_command(DWORD code, const char *text) {
  DWORD reply = 0;
  BOOL answered;
  DWORD error;
  MSG arrived;
  if (!plugin_window) {
    say("-> command %lu not sent: no plug-in known (start the viewer, or wait for \"Bim Start\")\n", code);
    return;
  }
  say("-> command %lu to window %lx: ", code, (unsigned long)(ULONG_PTR)plugin_window);
  print_quoted(text, strlen(text));
  /* Messages that the plug-in sends while this waits are answered
     meanwhile (window_proc); they are shown before the reply. */
  answered = vidudude_send_command(plugin_window, main_window, code, text, &reply);
  error = GetLastError();
  while (PeekMessageA(&arrived, main_window, WM_APP_RECEIVED, WM_APP_RECEIVED, PM_REMOVE)) DispatchMessageA(&arrived);
  if (answered) {
    const char *meaning = vidudude_reply_meaning(code, reply);
    say("<- reply to command %lu: %lu (%s)\n", code, reply, *meaning ? meaning : "?");
  } else {
    say("<- no reply to command %lu (error %lu)\n", code, error);
  }
}

/* "CODE TEXT" with \r, \n and \\ unescaped, sent as a command. */
static void send_typed(char *line) {
  char *rest;
  char *in;
  char *out;
  const unsigned long code = strtoul(line, &rest, 10);
  if (rest == line) {
    say("type CODE TEXT, for example: 1, 9 active, 6 GUID\\r\\nGUID, 2\n");
    return;
  }
  if (*rest == ' ') ++rest;
  for (in = out = rest; *in; ++in, ++out) {
    if (in[0] == '\\' && (in[1] == 'r' || in[1] == 'n' || in[1] == '\\')) {
      ++in;
      *out = *in == 'r' ? '\r' : *in == 'n' ? '\n' : '\\';
    } else {
      *out = *in;
    }
  }
  *out = '\0';
  send_command((DWORD)code, rest);
}

/* The work a message asks for, printing included, done after it was
   answered: a console that stalls the output must not stall the viewer. */
static void act_on(const struct received *message) {
  print_time(&message->arrived);
  printf("<- code %lu (%s) from viewer pid %lu, window %lx: ", message->code, message_name(message->code),
         message->viewer_pid, (unsigned long)(ULONG_PTR)message->plugin);
  print_quoted(message->text, strlen(message->text));
  if (message->code == VIDUDUDE_MSG_START) {
    plugin_window = message->plugin;
    send_command(VIDUDUDE_CMD_CONNECT, "");
  } else if (message->code == VIDUDUDE_MSG_END && message->plugin == plugin_window) {
    plugin_window = NULL;
  } else if (message->code == VIDUDUDE_MSG_CREATE_LINES) {
    const char *guid = message->text;
    int line = 0;
    while (strcmp(message->text, VIDUDUDE_NO_GUIDS) != 0 && *guid) {
      const size_t length = strcspn(guid, "\r\n");
      if (length > 0) printf("   measurement line %d: %.*s\n", ++line, (int)length, guid);
      guid += length + strspn(guid + length, "\r\n");
    }
    fflush(stdout);
  }
}

static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) {
    VIDUDUDE_MESSAGE split;
    struct received *copy;
    if (!vidudude_split_message((const COPYDATASTRUCT *)lParam, &split)) return FALSE;
    /* The bytes are the sender's and live only until this returns: copy
       them, answer at once and do the work afterwards. */
    copy = (struct received *)malloc(sizeof *copy + split.length + 1);
    if (!copy) return FALSE;
    copy->code = split.code;
    copy->viewer_pid = split.viewerPid;
    copy->plugin = (HWND)wParam;
    GetLocalTime(&copy->arrived);
    memcpy(copy->text, split.text, split.length);
    copy->text[split.length] = '\0';
    if (!PostMessageA(window, WM_APP_RECEIVED, 0, (LPARAM)copy)) free(copy);
    return TRUE;
  }
  if (message == WM_APP_RECEIVED || message == WM_APP_TYPED) {
    if (message == WM_APP_RECEIVED)
      act_on((struct received *)lParam);
    else
      send_typed((char *)lParam);
    free((void *)lParam);
    return 0;
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}

/* Reads stdin on a thread of its own and hands each line to the main
   window: commands go out from the thread that owns the window. */
static DWORD WINAPI read_input(LPVOID unused) {
  char *line;
  (void)unused;
  while ((line = (char *)malloc(MAX_LINE)) != NULL && fgets(line, MAX_LINE, stdin)) {
    line[strcspn(line, "\r\n")] = '\0';
    if (!PostMessageA(main_window, WM_APP_TYPED, 0, (LPARAM)line)) free(line);
  }
  free(line);
  PostMessageA(main_window, WM_CLOSE, 0, 0);
  return 0;
}

int main(int argc, char **argv) {
  const DWORD viewer = argc > 1 ? (DWORD)strtoul(argv[1], NULL, 10) : 0;
  WNDCLASSA type;
  MSG message;
  HWND plugin;
  memset(&type, 0, sizeof type);
  type.lpfnWndProc = window_proc;
  type.hInstance = GetModuleHandleA(NULL);
  type.lpszClassName = VIDUDUDE_PEER_WINDOW_CLASS;
  /* A top-level window, never shown: the plug-in finds it by class and
     process. A message-only window would not be found. */
  if (!RegisterClassA(&type) ||
      !(main_window = CreateWindowExA(0, VIDUDUDE_PEER_WINDOW_CLASS, "Sample peer", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                                      NULL, NULL, type.hInstance, NULL))) {
    fprintf(stderr, "sample peer: no main window (error %lu)\n", GetLastError());
    return 1;
  }
  say("sample peer: pid %lu, main window %lx; type CODE TEXT to send a command\n", GetCurrentProcessId(),
      (unsigned long)(ULONG_PTR)main_window);
  /* A peer started after the viewer has missed "Bim Start": it finds the
     plug-in's window itself. */
  plugin = vidudude_find_plugin_window(viewer);
  if (plugin) {
    plugin_window = plugin;
    send_command(VIDUDUDE_CMD_CONNECT, "");
  } else {
    say("no plug-in running yet: waiting for \"Bim Start\"\n");
  }
  if (!CreateThread(NULL, 0, read_input, NULL, 0, NULL)) return 1;
  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
