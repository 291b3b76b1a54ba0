/* SPDX-License-Identifier: MIT */
/* Copyright (c) 2026 Beispiel Bausoftware GmbH */
/*
 * vidudude_link.c: the link client that vidudude_link.h declares. Add this
 * file to your peer's build. Its first half is the link's rules without any
 * window: the command queue and the link's state, told what the worker found
 * and what arrived; the second half is the Win32 around them, the worker
 * thread and the sends. With VIDUDUDE_LINK_RULES_ONLY defined the first half
 * is compiled alone and needs no header at all, so that the rules are tested
 * on any system.
 */
#if defined(VIDUDUDE_LINK_RULES_ONLY)
#define VIDUDUDE_PEER_WIRE_ONLY
#include "vidudude_peer.h"
#else
#include "vidudude_link.h"
#endif

/* ---- The rules ---------------------------------------------------------- */

/* A queued command; the Win32 half keeps its text and tag beside it. */
struct link_node {
  struct link_node *next;
  unsigned long command;
};

/* What the worker does next (rules_next). */
#define LINK_WAIT 0      /* nothing until news come or the next second */
#define LINK_SEARCH 1    /* look for a plug-in window */
#define LINK_CONNECT 2   /* send the connect to the candidate */
#define LINK_WATCH 3     /* check that the link's window is still the plug-in's */
#define LINK_SEND 4      /* send the first queued command over the link */
#define LINK_NO_PLUGIN 5 /* answer the first queued command: no plug-in */
#define LINK_LEAVE 6     /* the client stops: leave the link, if any, and end */

/* Windows are only compared here, never used: a plain pointer each. */
struct link_rules {
  void *window;      /* the plug-in window connected to; 0 for none */
  unsigned long pid; /* its process */
  void *candidate;   /* a window to connect to, announced by "Bim Start" or found */
  void *ended;       /* the window whose "BIM end" came: it is going, never taken again */
  void *refused;     /* the window whose refusal was told last: told once */
  int search_due;
  int watch_due;
  int stopping;
  struct link_node *first;
  struct link_node *last;
};

static int rules_next(const struct link_rules *rules) {
  if (rules->stopping) return LINK_LEAVE;
  /* A "Bim Start" while connected: a restart whose "BIM end" was missed
     shows as the old window gone; another viewer's start changes nothing. */
  if (rules->window && (rules->watch_due || rules->candidate)) return LINK_WATCH;
  if (!rules->window && rules->candidate) return LINK_CONNECT;
  if (!rules->window && rules->search_due) return LINK_SEARCH;
  if (rules->first) return rules->window ? LINK_SEND : LINK_NO_PLUGIN;
  return LINK_WAIT;
}

/* A second has passed: watch the link's window, or search for one. */
static void rules_tick(struct link_rules *rules) {
  if (rules->window)
    rules->watch_due = 1;
  else
    rules->search_due = 1;
}

/* The search found window (0 for none); it never offers the ended one. */
static void rules_found(struct link_rules *rules, void *window) {
  rules->search_due = 0;
  if (window && window != rules->ended) rules->candidate = window;
}

static int rules_skips(const struct link_rules *rules, const void *window) { return window == rules->ended; }

/* The connect to window (of process pid) was answered with reply, or not.
   1: now connected; -1: refused, to be told; 0: nothing to tell. */
static int rules_connected(struct link_rules *rules, void *window, unsigned long pid, int answered,
                           unsigned long reply) {
  if (rules->candidate == window) rules->candidate = 0;
  /* A "BIM end" that came meanwhile wins over the answer. */
  if (!answered || window == rules->ended || rules->window) return 0;
  if (reply != VIDUDUDE_REPLY_TAKEN) {
    if (rules->refused == window) return 0;
    rules->refused = window;
    return -1;
  }
  rules->window = window;
  rules->pid = pid;
  rules->refused = 0;
  rules->watch_due = 0;
  return 1;
}

/* The watch, or a send, found window still the plug-in's (alive) or not.
   1 when the link has just lost it. */
static int rules_watched(struct link_rules *rules, const void *window, int alive) {
  if (rules->window != window) return 0;
  rules->watch_due = 0;
  if (alive) {
    rules->candidate = 0;
    return 0;
  }
  rules->window = 0;
  rules->pid = 0;
  rules->search_due = 1;
  return 1;
}

/* "Bim Start" came from window: a new session, whatever its handle. */
static void rules_started(struct link_rules *rules, void *window) {
  if (!window) return;
  if (rules->ended == window) rules->ended = 0;
  rules->candidate = window;
}

/* "BIM end" came from window. 1 when that was the link's window. */
static int rules_ended(struct link_rules *rules, void *window) {
  if (!window) return 0;
  rules->ended = window;
  if (rules->candidate == window) rules->candidate = 0;
  if (rules->window != window) return 0;
  rules->window = 0;
  rules->pid = 0;
  rules->watch_due = 0;
  return 1;
}

/* Queues node last. With replace, a select takes the place of every select
   still waiting: those leave the queue and are returned, in their order.
   With no plug-in known, the worker searches at once. */
static struct link_node *rules_queue(struct link_rules *rules, struct link_node *node, int replace) {
  struct link_node *replaced = 0;
  struct link_node **tail = &replaced;
  struct link_node **at = &rules->first;
  struct link_node *kept = 0;
  if (replace && node->command == VIDUDUDE_CMD_SELECT) {
    while (*at) {
      struct link_node *waiting = *at;
      if (waiting->command == VIDUDUDE_CMD_SELECT) {
        *at = waiting->next;
        waiting->next = 0;
        *tail = waiting;
        tail = &waiting->next;
      } else {
        kept = waiting;
        at = &waiting->next;
      }
    }
    rules->last = kept;
  }
  node->next = 0;
  if (rules->last)
    rules->last->next = node;
  else
    rules->first = node;
  rules->last = node;
  if (!rules->window) rules->search_due = 1;
  return replaced;
}

/* The first queued command, taken off the queue; 0 when there is none. */
static struct link_node *rules_take(struct link_rules *rules) {
  struct link_node *node = rules->first;
  if (node) {
    rules->first = node->next;
    if (!rules->first) rules->last = 0;
    node->next = 0;
  }
  return node;
}

/* The client stops: the queue is handed back, to be dropped. */
static struct link_node *rules_stop(struct link_rules *rules) {
  struct link_node *queued = rules->first;
  rules->stopping = 1;
  rules->first = 0;
  rules->last = 0;
  return queued;
}

/* ---- The Win32 half ----------------------------------------------------- */
#if !defined(VIDUDUDE_LINK_RULES_ONLY)

#if defined(__cplusplus)
#define LINK_AS(type, value) static_cast<type>(value)
#define LINK_HANDLE_AS(type, handle) reinterpret_cast<type>(handle)
#else
#define LINK_AS(type, value) ((type)(value))
#define LINK_HANDLE_AS(type, handle) ((type)(handle))
#endif

#define LINK_TICK_MS 1000
/* The leave's own wait, within VIDUDUDE_LINK_STOP_MS. */
#define LINK_LEAVE_MS 2000

struct link_job {
  struct link_node node; /* first: the queue's node is the job */
  ULONG_PTR tag;
  char *text; /* NUL-terminated, in the job's own block */
};

struct VIDUDUDE_LINK {
  CRITICAL_SECTION lock; /* guards rules and the timeouts */
  struct link_rules rules;
  HWND mainWindow;
  UINT message;
  DWORD commandMs;
  DWORD loadMs;
  HANDLE wake;   /* auto-reset: the rules have news for the worker */
  HANDLE stop;   /* manual-reset: the client stops */
  HANDLE worker; /* the worker thread */
  LONG references;
  DWORD leaveReply;
};

/* One send, made on a thread of its own so that the worker can give it up
   when the client stops: SendMessageTimeout cannot be ended early. Shared by
   the worker and that thread; the last to let go frees it. */
struct link_send {
  LONG references;
  HANDLE done;
  HWND target;
  HWND from;
  DWORD command;
  DWORD timeout;
  BOOL answered;
  DWORD_PTR result;
  DWORD error;
  char *text;
};

#define SEND_ANSWERED 0
#define SEND_TIMED_OUT 1
#define SEND_FAILED 2
#define SEND_GIVEN_UP 3

static void *link_alloc(SIZE_T size) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size); }
static void link_free(void *block) { HeapFree(GetProcessHeap(), 0, block); }

static void link_release(VIDUDUDE_LINK *link) {
  if (InterlockedDecrement(&link->references) != 0) return;
  DeleteCriticalSection(&link->lock);
  if (link->wake) CloseHandle(link->wake);
  if (link->stop) CloseHandle(link->stop);
  if (link->worker) CloseHandle(link->worker);
  link_free(link);
}

static void send_release(struct link_send *send) {
  if (InterlockedDecrement(&send->references) != 0) return;
  CloseHandle(send->done);
  link_free(send);
}

static void free_jobs(struct link_node *node) {
  while (node) {
    struct link_node *next = node->next;
    link_free(node);
    node = next;
  }
}

/* Posts one event to the peer's window; the caller holds the lock. Nothing
   once the client stops. */
static void link_post(VIDUDUDE_LINK *link, DWORD kind, DWORD command, DWORD reply, DWORD error, ULONG_PTR tag,
                      HWND window, DWORD pid) {
  VIDUDUDE_LINK_EVENT *event;
  if (link->rules.stopping) return;
  event = LINK_AS(VIDUDUDE_LINK_EVENT *, link_alloc(sizeof *event));
  if (!event) return;
  event->kind = kind;
  event->command = command;
  event->reply = reply;
  event->error = error;
  event->tag = tag;
  event->pluginWindow = window;
  event->viewerPid = pid;
  if (!PostMessageA(link->mainWindow, link->message, kind, LINK_HANDLE_AS(LPARAM, event))) link_free(event);
}

static void post_job(VIDUDUDE_LINK *link, DWORD kind, const struct link_job *job, DWORD reply, DWORD error) {
  link_post(link, kind, job->node.command, reply, error, job->tag, LINK_AS(HWND, link->rules.window), link->rules.pid);
}

/* The plug-in's window is known by its class and its process together: a
   handle alone may have been given to another window since. */
static BOOL is_plugin_window(HWND window, DWORD pid) {
  static const char wanted[] = VIDUDUDE_PLUGIN_WINDOW_CLASS;
  char name[sizeof wanted + 1];
  DWORD owner = 0;
  int length, i;
  if (!window || !GetWindowThreadProcessId(window, &owner) || owner != pid) return FALSE;
  length = GetClassNameA(window, name, LINK_AS(int, sizeof name));
  if (length != LINK_AS(int, sizeof wanted - 1)) return FALSE;
  for (i = 0; i < length; ++i) {
    if (name[i] != wanted[i]) return FALSE;
  }
  return TRUE;
}

static DWORD WINAPI send_thread(LPVOID parameter) {
  struct link_send *send = LINK_AS(struct link_send *, parameter);
  COPYDATASTRUCT data;
  data.dwData = send->command;
  data.cbData = LINK_AS(DWORD, lstrlenA(send->text) + 1);
  data.lpData = send->text;
  SetLastError(0);
  send->answered = SendMessageTimeoutA(send->target, WM_COPYDATA, LINK_HANDLE_AS(WPARAM, send->from),
                                       LINK_HANDLE_AS(LPARAM, &data), SMTO_NORMAL, send->timeout, &send->result) != 0;
  send->error = send->answered ? 0 : GetLastError();
  SetEvent(send->done);
  send_release(send);
  return 0;
}

/* Sends command with text to target, waiting at most timeout for the reply,
   and waits for the outcome or until giveUp is set (it may be NULL). */
static int link_send_now(VIDUDUDE_LINK *link, HWND target, DWORD command, const char *text, DWORD timeout,
                         HANDLE giveUp, DWORD *reply, DWORD *error) {
  const int length = lstrlenA(text);
  struct link_send *send = LINK_AS(struct link_send *, link_alloc(sizeof *send + LINK_AS(SIZE_T, length) + 1));
  HANDLE waits[2];
  HANDLE thread;
  DWORD waited;
  int outcome = SEND_GIVEN_UP;
  *reply = 0;
  *error = ERROR_NOT_ENOUGH_MEMORY;
  if (!send) return SEND_FAILED;
  send->done = CreateEventA(NULL, TRUE, FALSE, NULL);
  if (!send->done) {
    *error = GetLastError();
    link_free(send);
    return SEND_FAILED;
  }
  send->references = 2;
  send->target = target;
  send->from = link->mainWindow;
  send->command = command;
  send->timeout = timeout;
  send->text = LINK_AS(char *, LINK_AS(void *, send + 1));
  CopyMemory(send->text, text, LINK_AS(SIZE_T, length) + 1);
  thread = CreateThread(NULL, 0, send_thread, send, 0, NULL);
  if (!thread) {
    *error = GetLastError();
    send->references = 1;
    send_release(send);
    return SEND_FAILED;
  }
  CloseHandle(thread);
  waits[0] = send->done;
  waits[1] = giveUp;
  waited = WaitForMultipleObjects(giveUp ? 2 : 1, waits, FALSE, INFINITE);
  if (waited == WAIT_OBJECT_0) {
    *error = send->error;
    if (send->answered) {
      *reply = LINK_AS(DWORD, send->result);
      outcome = SEND_ANSWERED;
    } else {
      /* Some systems leave the error at 0 for a send that ran out. */
      outcome = send->error == ERROR_TIMEOUT || send->error == 0 ? SEND_TIMED_OUT : SEND_FAILED;
    }
  }
  send_release(send);
  return outcome;
}

/* The first plug-in window, in the system's order, that the rules take. */
static HWND link_find(VIDUDUDE_LINK *link) {
  HWND window = NULL;
  while ((window = FindWindowExA(NULL, window, VIDUDUDE_PLUGIN_WINDOW_CLASS, NULL)) != NULL) {
    int skipped;
    EnterCriticalSection(&link->lock);
    skipped = rules_skips(&link->rules, window);
    LeaveCriticalSection(&link->lock);
    if (!skipped) return window;
  }
  return NULL;
}

static void link_connect(VIDUDUDE_LINK *link, HWND window) {
  DWORD pid = 0, reply = 0, error = 0, timeout;
  int outcome = SEND_FAILED, told;
  EnterCriticalSection(&link->lock);
  timeout = link->commandMs;
  LeaveCriticalSection(&link->lock);
  GetWindowThreadProcessId(window, &pid);
  if (is_plugin_window(window, pid)) {
    outcome = link_send_now(link, window, VIDUDUDE_CMD_CONNECT, "", timeout, link->stop, &reply, &error);
  }
  EnterCriticalSection(&link->lock);
  told = rules_connected(&link->rules, window, pid, outcome == SEND_ANSWERED, reply);
  if (told > 0) link_post(link, VIDUDUDE_LINK_CONNECTED, 0, reply, 0, 0, window, pid);
  if (told < 0) link_post(link, VIDUDUDE_LINK_REFUSED, VIDUDUDE_CMD_CONNECT, reply, 0, 0, window, pid);
  LeaveCriticalSection(&link->lock);
}

/* Told with the lock held: the link's window has gone. */
static void link_lost(VIDUDUDE_LINK *link, HWND window, DWORD pid) {
  if (rules_watched(&link->rules, window, FALSE)) link_post(link, VIDUDUDE_LINK_VIEWER_GONE, 0, 0, 0, 0, window, pid);
}

static void link_watch(VIDUDUDE_LINK *link, HWND window, DWORD pid) {
  const BOOL alive = is_plugin_window(window, pid);
  EnterCriticalSection(&link->lock);
  if (alive)
    rules_watched(&link->rules, window, TRUE);
  else
    link_lost(link, window, pid);
  LeaveCriticalSection(&link->lock);
}

static void link_send_first(VIDUDUDE_LINK *link, HWND window, DWORD pid) {
  struct link_job *job;
  DWORD timeout, reply = 0, error = 0;
  int outcome;
  BOOL alive = is_plugin_window(window, pid);
  EnterCriticalSection(&link->lock);
  job = alive ? LINK_HANDLE_AS(struct link_job *, rules_take(&link->rules)) : NULL;
  timeout = job && job->node.command == VIDUDUDE_CMD_LOAD_MODEL ? link->loadMs : link->commandMs;
  if (!alive) link_lost(link, window, pid);
  LeaveCriticalSection(&link->lock);
  if (!job) return;
  outcome = link_send_now(link, window, job->node.command, job->text, timeout, link->stop, &reply, &error);
  /* A command that reached the window is never sent again: it may have been
     carried out. */
  alive = outcome != SEND_FAILED || is_plugin_window(window, pid);
  EnterCriticalSection(&link->lock);
  if (outcome == SEND_ANSWERED) post_job(link, VIDUDUDE_LINK_REPLY, job, reply, 0);
  if (outcome == SEND_TIMED_OUT) post_job(link, VIDUDUDE_LINK_TIMED_OUT, job, 0, 0);
  if (outcome == SEND_FAILED) post_job(link, VIDUDUDE_LINK_NO_PLUGIN, job, 0, error);
  if (!alive) link_lost(link, window, pid);
  LeaveCriticalSection(&link->lock);
  link_free(job);
}

static void link_leave(VIDUDUDE_LINK *link, HWND window, DWORD pid) {
  DWORD reply = 0, error = 0;
  if (window && is_plugin_window(window, pid) &&
      link_send_now(link, window, VIDUDUDE_CMD_LEAVE, "", LINK_LEAVE_MS, NULL, &reply, &error) == SEND_ANSWERED) {
    link->leaveReply = reply;
  }
}

static DWORD WINAPI link_worker(LPVOID parameter) {
  VIDUDUDE_LINK *link = LINK_AS(VIDUDUDE_LINK *, parameter);
  DWORD lastTick = GetTickCount();
  for (;;) {
    const DWORD sinceTick = GetTickCount() - lastTick;
    struct link_job *job;
    HWND window;
    DWORD pid;
    int action;
    EnterCriticalSection(&link->lock);
    if (sinceTick >= LINK_TICK_MS) {
      rules_tick(&link->rules);
      lastTick = GetTickCount();
    }
    action = rules_next(&link->rules);
    window = LINK_AS(HWND, action == LINK_CONNECT ? link->rules.candidate : link->rules.window);
    pid = link->rules.pid;
    job = action == LINK_NO_PLUGIN ? LINK_HANDLE_AS(struct link_job *, rules_take(&link->rules)) : NULL;
    if (job) post_job(link, VIDUDUDE_LINK_NO_PLUGIN, job, 0, 0);
    LeaveCriticalSection(&link->lock);
    if (job) link_free(job);
    if (action == LINK_LEAVE) {
      link_leave(link, window, pid);
      link_release(link);
      return 0;
    }
    if (action == LINK_SEARCH) {
      const HWND found = link_find(link);
      EnterCriticalSection(&link->lock);
      rules_found(&link->rules, found);
      LeaveCriticalSection(&link->lock);
    } else if (action == LINK_CONNECT) {
      link_connect(link, window);
    } else if (action == LINK_WATCH) {
      link_watch(link, window, pid);
    } else if (action == LINK_SEND) {
      link_send_first(link, window, pid);
    } else if (action == LINK_WAIT) {
      HANDLE waits[2];
      waits[0] = link->wake;
      waits[1] = link->stop;
      WaitForMultipleObjects(2, waits, FALSE, sinceTick < LINK_TICK_MS ? LINK_TICK_MS - sinceTick : 0);
    }
  }
}

VIDUDUDE_LINK *vidudude_link_start(HWND mainWindow, UINT message) {
  VIDUDUDE_LINK *link = LINK_AS(VIDUDUDE_LINK *, link_alloc(sizeof *link));
  if (!link) return NULL;
  InitializeCriticalSection(&link->lock);
  link->mainWindow = mainWindow;
  link->message = message;
  link->commandMs = VIDUDUDE_COMMAND_TIMEOUT_MS;
  link->loadMs = VIDUDUDE_LOAD_TIMEOUT_MS;
  link->rules.search_due = 1;
  link->references = 1;
  link->wake = CreateEventA(NULL, FALSE, FALSE, NULL);
  link->stop = CreateEventA(NULL, TRUE, FALSE, NULL);
  if (link->wake && link->stop) link->worker = CreateThread(NULL, 0, link_worker, link, CREATE_SUSPENDED, NULL);
  if (!link->worker) {
    link_release(link);
    return NULL;
  }
  link->references = 2;
  ResumeThread(link->worker);
  return link;
}

BOOL vidudude_link_send(VIDUDUDE_LINK *link, DWORD command, const char *text, ULONG_PTR tag, DWORD flags) {
  struct link_job *job;
  struct link_node *replaced;
  int length;
  if (!link || command == VIDUDUDE_CMD_LEAVE) return FALSE;
  if (!text) text = "";
  length = lstrlenA(text);
  job = LINK_AS(struct link_job *, link_alloc(sizeof *job + LINK_AS(SIZE_T, length) + 1));
  if (!job) return FALSE;
  job->node.command = command;
  job->tag = tag;
  job->text = LINK_AS(char *, LINK_AS(void *, job + 1));
  CopyMemory(job->text, text, LINK_AS(SIZE_T, length) + 1);
  EnterCriticalSection(&link->lock);
  if (link->rules.stopping) {
    LeaveCriticalSection(&link->lock);
    link_free(job);
    return FALSE;
  }
  replaced = rules_queue(&link->rules, &job->node, (flags & VIDUDUDE_LINK_REPLACE) != 0);
  while (replaced) {
    struct link_job *old = LINK_HANDLE_AS(struct link_job *, replaced);
    replaced = replaced->next;
    post_job(link, VIDUDUDE_LINK_REPLACED, old, 0, 0);
    link_free(old);
  }
  LeaveCriticalSection(&link->lock);
  SetEvent(link->wake);
  return TRUE;
}

BOOL vidudude_link_receive(VIDUDUDE_LINK *link, WPARAM wParam, LPARAM lParam, VIDUDUDE_MESSAGE *message) {
  /* Only the low 32 bits of a window handle count between 32-bit and 64-bit
     programs: the handle as this process's own calls give it, sign-extended. */
  const HWND plugin = LINK_HANDLE_AS(HWND, LINK_AS(LONG_PTR, LINK_AS(LONG, wParam)));
  if (!vidudude_split_message(LINK_HANDLE_AS(const COPYDATASTRUCT *, lParam), message)) return FALSE;
  if (!link || (message->code != VIDUDUDE_MSG_START && message->code != VIDUDUDE_MSG_END)) return TRUE;
  EnterCriticalSection(&link->lock);
  if (message->code == VIDUDUDE_MSG_START) {
    rules_started(&link->rules, plugin);
  } else {
    const DWORD pid = link->rules.pid;
    if (rules_ended(&link->rules, plugin)) link_post(link, VIDUDUDE_LINK_VIEWER_GONE, 0, 0, 0, 0, plugin, pid);
  }
  LeaveCriticalSection(&link->lock);
  SetEvent(link->wake);
  return TRUE;
}

BOOL vidudude_link_event(LPARAM lParam, VIDUDUDE_LINK_EVENT *event) {
  VIDUDUDE_LINK_EVENT *posted = LINK_HANDLE_AS(VIDUDUDE_LINK_EVENT *, lParam);
  if (!posted) return FALSE;
  if (event) *event = *posted;
  link_free(posted);
  return TRUE;
}

void vidudude_link_timeouts(VIDUDUDE_LINK *link, DWORD commandMs, DWORD loadMs) {
  if (!link) return;
  EnterCriticalSection(&link->lock);
  if (commandMs) link->commandMs = commandMs;
  if (loadMs) link->loadMs = loadMs;
  LeaveCriticalSection(&link->lock);
}

DWORD vidudude_link_stop(VIDUDUDE_LINK *link) {
  const DWORD start = GetTickCount();
  BOOL ended = FALSE;
  DWORD reply = 0;
  if (!link) return 0;
  EnterCriticalSection(&link->lock);
  free_jobs(rules_stop(&link->rules));
  LeaveCriticalSection(&link->lock);
  SetEvent(link->stop);
  /* The plug-in may be sending to the peer's window right now, and waits for
     it: sent messages are answered while this waits. */
  for (;;) {
    const DWORD waited = GetTickCount() - start;
    DWORD woken;
    if (waited >= VIDUDUDE_LINK_STOP_MS) break;
    woken = MsgWaitForMultipleObjects(1, &link->worker, FALSE, VIDUDUDE_LINK_STOP_MS - waited, QS_SENDMESSAGE);
    if (woken == WAIT_OBJECT_0) {
      ended = TRUE;
      break;
    }
    if (woken != WAIT_OBJECT_0 + 1) break;
    {
      MSG sent;
      PeekMessageA(&sent, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
  }
  if (ended) reply = link->leaveReply;
  link_release(link);
  return reply;
}

#undef LINK_AS
#undef LINK_HANDLE_AS
#endif /* !VIDUDUDE_LINK_RULES_ONLY */
