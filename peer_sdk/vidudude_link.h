/* SPDX-License-Identifier: MIT */
/* Copyright (c) 2026 Beispiel Bausoftware GmbH */
/*
 * vidudude_link.h: the link client, which does the link's own rules for a
 * peer with a window: a worker thread finds the plug-in's window, connects,
 * watches it and connects again after the viewer restarted; commands queue
 * and go out in order from that thread, so that a busy viewer never freezes
 * the peer's window; every outcome comes back to the window as a posted
 * message. Plain C (C99) that compiles as C++ too, with nothing but
 * <windows.h>; docs/protocol.md, "The link client", shows it in use and
 * peer_sdk/sample_peer.c is a whole peer built on it.
 *
 * A header and one C file, vidudude_link.c, to add to your build: the client
 * has a thread procedure, a queue and a lock, which belong in one place of a
 * program rather than in every file that includes this header.
 *
 * Every function but vidudude_link_stop() returns at once. Call them on the
 * thread that owns the peer's main window.
 */
#ifndef VIDUDUDE_LINK_H
#define VIDUDUDE_LINK_H

#include "vidudude_peer.h"

#if defined(__cplusplus)
extern "C" {
#endif

typedef struct VIDUDUDE_LINK VIDUDUDE_LINK;

/* What happened, in VIDUDUDE_LINK_EVENT.kind. */
#define VIDUDUDE_LINK_CONNECTED 1   /* connected to pluginWindow in viewerPid */
#define VIDUDUDE_LINK_VIEWER_GONE 2 /* the plug-in ended ("BIM end") or its window has gone */
#define VIDUDUDE_LINK_REFUSED 3     /* the plug-in answered the connect with reply; tried again each second */
#define VIDUDUDE_LINK_REPLY 4       /* the command tagged tag was answered with reply */
/* The command's wait ran out. It may or may not have been carried out: under
   Wine a message whose sender gave up is never delivered; on Windows the
   plug-in may still carry it out later. Not sent again. */
#define VIDUDUDE_LINK_TIMED_OUT 5
/* The command did not reach a plug-in: none runs, or the system refused the
   message (error holds its code, for example ERROR_ACCESS_DENIED when the
   viewer runs at a higher integrity level). */
#define VIDUDUDE_LINK_NO_PLUGIN 6
#define VIDUDUDE_LINK_REPLACED 7 /* a newer select replaced this one while it waited: not sent */

/* One event, as vidudude_link_event() gives it. */
typedef struct VIDUDUDE_LINK_EVENT {
  DWORD kind;
  DWORD command; /* the command concerned; 0 for a change of state */
  DWORD reply;   /* VIDUDUDE_LINK_REPLY, VIDUDUDE_LINK_REFUSED: the plug-in's reply */
  DWORD error;   /* VIDUDUDE_LINK_NO_PLUGIN: the system's error, 0 when no plug-in runs */
  ULONG_PTR tag; /* the tag given to vidudude_link_send() */
  HWND pluginWindow;
  DWORD viewerPid;
} VIDUDUDE_LINK_EVENT;

/* Starts the client for the peer's main window (a top-level window of class
   VIDUDUDE_PEER_WINDOW_CLASS, which also receives the plug-in's messages).
   Each event is posted to it as the message number message (pick one from
   WM_APP up), with its kind in wParam and the event in lParam: hand that
   lParam to vidudude_link_event(). The worker looks for a plug-in at once, then once a
   second while there is none. NULL when the thread or memory could not be
   had. */
VIDUDUDE_LINK *vidudude_link_start(HWND mainWindow, UINT message);

/* Queues a command with its text (NULL for none) and a tag of yours, and
   returns at once. The worker sends the commands one after the other, in
   the order queued, and waits VIDUDUDE_COMMAND_TIMEOUT_MS for each reply,
   VIDUDUDE_LOAD_TIMEOUT_MS for a load; exactly one event with the tag comes
   back: REPLY, TIMED_OUT, NO_PLUGIN or REPLACED. With VIDUDUDE_LINK_REPLACE
   a select (VIDUDUDE_CMD_SELECT) takes the place of every select still
   waiting in the queue, which then get REPLACED: a list box that follows the
   user's clicks sends the newest selection only. FALSE, with no event to
   come, for a NULL or stopping link, when memory ran out, and for
   VIDUDUDE_CMD_LEAVE: vidudude_link_stop() leaves the link. */
#define VIDUDUDE_LINK_REPLACE 1
BOOL vidudude_link_send(VIDUDUDE_LINK *link, DWORD command, const char *text, ULONG_PTR tag, DWORD flags);

/* Call it in the main window's WM_COPYDATA handler with the message's
   wParam and lParam: splits the message as vidudude_split_message() does
   (copy message->text before you return) and notes "Bim Start" (code 1:
   connect to that window at once) and "BIM end" (code 2: the plug-in is
   gone). link may be NULL; the message is then only split. */
BOOL vidudude_link_receive(VIDUDUDE_LINK *link, WPARAM wParam, LPARAM lParam, VIDUDUDE_MESSAGE *message);

/* Takes the event out of the lParam of a posted event message and frees
   it; call it exactly once for each such message. FALSE for a NULL lParam. */
BOOL vidudude_link_event(LPARAM lParam, VIDUDUDE_LINK_EVENT *event);

/* Sets the waits of later commands in milliseconds; 0 keeps the default.
   For tools that would rather hear of a busy viewer sooner. */
void vidudude_link_timeouts(VIDUDUDE_LINK *link, DWORD commandMs, DWORD loadMs);

/* Ends the client: the queued commands are dropped without an event, a
   command on its way is given up (a pending load included), and while
   connected the client sends VIDUDUDE_CMD_LEAVE, so that the viewer stays
   open. Returns within VIDUDUDE_LINK_STOP_MS, answering the messages that
   are sent to the peer's windows meanwhile; no event is posted after it.
   Returns the reply to the leave, 0 when none was sent or none came. The
   link is freed: do not use it again. A command given up may still be
   carried out, as one that timed out, and the thread that sent it lives
   until its own wait ends; it touches nothing of yours but runs this
   file's code, so a DLL that holds the client stays loaded until then. */
#define VIDUDUDE_LINK_STOP_MS 3000
DWORD vidudude_link_stop(VIDUDUDE_LINK *link);

#if defined(__cplusplus)
}
#endif

#endif /* VIDUDUDE_LINK_H */
