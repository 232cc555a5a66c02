#pragma once

#include "MaildirCalls.h"

// The system calls of a Maildir whose syncs are batched: a sync after any change
// (a write, a rename, an unlink, a new folder) flushes the whole file system at once
// with syncfs, and a sync with no change since the last one has nothing left to do.
// A Maildir writes a group of messages before it syncs any, so the group costs one
// flush instead of one per file (on ext4 each fsync is a journal commit of its own:
// 1,000 messages took 3.9 s, one syncfs a few tens of milliseconds). syncfs reports
// write-back errors of the file system since Linux 5.8.
MaildirCalls BatchedSyncCalls();
