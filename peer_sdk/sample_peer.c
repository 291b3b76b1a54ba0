/* SPDX-License-Identifier: MIT */
/* Copyright (c) 2026 Beispiel Bausoftware GmbH */
/*
 * sample_peer.c: a small but complete peer on the link client of
 * vidudude_link.h, to start your own from; run it as QUABO.EXE. The client
 * links its hidden TMainForm window to the plug-in, now or when a viewer
 * starts, and again after each restart. It prints every message and event
 * with a time stamp and queues each line typed on stdin as a command, "CODE
 * TEXT": "9 active", "5 C:\Projekte\Haus.ifc", "11", "2". In TEXT, \r, \n
 * and \\ stand for CR, LF and a backslash. A select replaces one that still
 * waits. "12", or the end of input, leaves the link; the viewer stays open.
 */
#include <windows.h>

#include <process.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vidudude_link.h"

/* Posted to the main window, so that the work is done on its thread after
   the message that asked for it has been answered. */
#define WM_APP_LINK (WM_APP + 1)     /* lParam: an event of the link client */
#define WM_APP_RECEIVED (WM_APP + 2) /* lParam: a struct received, to act on */
#define WM_APP_TYPED (WM_APP + 3)    /* lParam: a typed line, to send */

#define MAX_LINE 65536

struct received {
  DWORD code;
  DWORD viewer_pid;
  HWND plugin;
  SYSTEMTIME arrived;
  char text[]; /* the copied text, NUL-terminated */
};

static HWND main_window;
static VIDUDUDE_LINK *client;

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
static void print_quoted(const char *text) {
  putchar('"');
  for (; *text; ++text) {
    const unsigned char c = (unsigned char)*text;
    if (c == '\r' || c == '\n' || c == '"' || c == '\\')
      printf("\\%c", c == '\r' ? 'r' : c == '\n' ? 'n' : c);
    else if (c < 0x20 || c >= 0x7F)
      printf("\\x%02X", c);
    else
      putchar(c);
  }
  printf("\"\n");
  fflush(stdout);
}

static const char *message_name(DWORD code) {
  static const char *const names[] = {
      "", "plug-in started", "plug-in stops", "", "model path", "", "selection", "", "", "create measurement lines"};
  return code < 10 && *names[code] ? names[code] : "unknown code";
}

/* "CODE TEXT" with \r, \n and \\ unescaped, queued as a command. */
static void send_typed(char *line) {
  char *rest, *in, *out;
  const unsigned long code = strtoul(line, &rest, 10);
  if (rest == line) {
    say("type CODE TEXT, for example: 9 active, 6 GUID\\r\\nGUID, 11, 12\n");
    return;
  }
  if (code == VIDUDUDE_CMD_LEAVE) {
    PostMessageA(main_window, WM_CLOSE, 0, 0);
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
  say("-> command %lu: ", code);
  print_quoted(rest);
  vidudude_link_send(client, (DWORD)code, rest, 0, code == VIDUDUDE_CMD_SELECT ? VIDUDUDE_LINK_REPLACE : 0);
}

/* What the link client did, as it tells: every command gets one event. */
static void on_event(const VIDUDUDE_LINK_EVENT *e) {
  const unsigned long window = (unsigned long)(ULONG_PTR)e->pluginWindow;
  if (e->kind == VIDUDUDE_LINK_CONNECTED)
    say("connected to the plug-in's window %lx (viewer pid %lu)\n", window, e->viewerPid);
  else if (e->kind == VIDUDUDE_LINK_VIEWER_GONE)
    say("the plug-in's window %lx has gone: waiting for the next one\n", window);
  else if (e->kind == VIDUDUDE_LINK_REFUSED)
    say("the plug-in refused the connect: %lu (%s)\n", e->reply,
        vidudude_reply_meaning(VIDUDUDE_CMD_CONNECT, e->reply));
  else if (e->kind == VIDUDUDE_LINK_REPLY)
    say("<- reply to command %lu: %lu (%s)\n", e->command, e->reply, vidudude_reply_meaning(e->command, e->reply));
  else if (e->kind == VIDUDUDE_LINK_TIMED_OUT)
    say("<- no reply to command %lu: timed out; it may or may not have been carried out\n", e->command);
  else if (e->kind == VIDUDUDE_LINK_NO_PLUGIN)
    say("<- no reply to command %lu: no plug-in (error %lu)\n", e->command, e->error);
  else if (e->kind == VIDUDUDE_LINK_REPLACED)
    say("<- command %lu not sent: a newer one replaced it\n", e->command);
  if (e->kind == VIDUDUDE_LINK_REPLY && e->command == VIDUDUDE_CMD_SEND_SELECTION && e->reply == VIDUDUDE_REPLY_TAKEN)
    say("   the selection came as code 6 before this reply\n");
}

/* The work a message asks for, printing included, done after it was
   answered: a console that stalls the output must not stall the viewer. */
static void act_on(const struct received *message) {
  const char *guid = message->text;
  int line = 0;
  print_time(&message->arrived);
  printf("<- code %lu (%s) from viewer pid %lu, window %lx: ", message->code, message_name(message->code),
         message->viewer_pid, (unsigned long)(ULONG_PTR)message->plugin);
  print_quoted(message->text);
  while (message->code == VIDUDUDE_MSG_CREATE_LINES && strcmp(message->text, VIDUDUDE_NO_GUIDS) != 0 && *guid) {
    const size_t length = strcspn(guid, "\r\n");
    if (length > 0) printf("   measurement line %d: %.*s\n", ++line, (int)length, guid);
    guid += length + strspn(guid + length, "\r\n");
  }
  fflush(stdout);
}

static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  VIDUDUDE_LINK_EVENT event;
  VIDUDUDE_MESSAGE split;
  struct received *copy;
  switch (message) {
    case WM_COPYDATA:
      /* The bytes are the sender's and live only until this returns: copy
         them, answer at once and do the work afterwards. */
      if (!vidudude_link_receive(client, wParam, lParam, &split)) return FALSE;
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
    case WM_APP_LINK:
      if (vidudude_link_event(lParam, &event)) on_event(&event);
      return 0;
    case WM_APP_RECEIVED:
      act_on((struct received *)lParam);
      free((void *)lParam);
      return 0;
    case WM_APP_TYPED:
      send_typed((char *)lParam);
      free((void *)lParam);
      return 0;
    case WM_CLOSE: {
      const DWORD reply = vidudude_link_stop(client);
      client = NULL;
      say("left the link: reply %lu to command 12 (%s)\n", reply,
          reply ? vidudude_reply_meaning(VIDUDUDE_CMD_LEAVE, reply) : "none: not connected, or no answer");
      DestroyWindow(window);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

/* Reads stdin on a thread of its own and hands each line to the main
   window, which queues it with the client and never waits. The thread uses
   the C library, so it is started with _beginthreadex. */
static unsigned __stdcall read_input(void *unused) {
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

int main(void) {
  WNDCLASSA type = {0};
  MSG message;
  HANDLE reader = NULL;
  type.lpfnWndProc = window_proc;
  type.hInstance = GetModuleHandleA(NULL);
  type.lpszClassName = VIDUDUDE_PEER_WINDOW_CLASS;
  /* A top-level window, never shown: the plug-in finds it by class and
     process. A message-only window would not be found. */
  if (!RegisterClassA(&type) ||
      !(main_window = CreateWindowExA(0, VIDUDUDE_PEER_WINDOW_CLASS, "Sample peer", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                                      NULL, NULL, type.hInstance, NULL)) ||
      !(client = vidudude_link_start(main_window, WM_APP_LINK)) ||
      !(reader = (HANDLE)_beginthreadex(NULL, 0, read_input, NULL, 0, NULL))) {
    fprintf(stderr, "sample peer: cannot start (error %lu)\n", GetLastError());
    return 1;
  }
  CloseHandle(reader);
  say("sample peer: pid %lu, main window %lx; type CODE TEXT to send a command\n", GetCurrentProcessId(),
      (unsigned long)(ULONG_PTR)main_window);
  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
