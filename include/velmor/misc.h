/* Runtime services: process record, logger, checked allocation, files,
 * directories, daemon start, hit counter and calendar.
 * C interface; every function is safe to call before any other.
 * Include as <velmor/misc.h> (pkg-config velmor, or the CMake target
 * Velmor::velmor); with <syslog.h>, see the log levels below. Manual pages
 * velmor_misc(3), and ownership and threads in velmor(3). */
#ifndef VELMOR_MISC_H
#define VELMOR_MISC_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- process record, time cache and logger ---- */

/* Log levels. The debug level is VELMOR_LOG_DEBUG; LOG_DEBUG is a macro for
 * it, because <syslog.h> defines LOG_DEBUG as 7 (LOG_CLOSE here):
 * - <syslog.h> first: define VELMOR_NO_LOG_DEBUG before this header, which
 *   then leaves LOG_DEBUG to syslog, and log with VELMOR_LOG_DEBUG;
 *   without it the build stops with an #error that says so.
 * - <syslog.h> after this header (without VELMOR_NO_LOG_DEBUG) would quietly
 *   turn every log_msg(LOG_DEBUG, ...) into LOG_CLOSE, so this header
 *   poisons LOG_EMERG, the first name <syslog.h> defines: the build stops at
 *   "attempt to use poisoned LOG_EMERG" in syslog.h. Reorder as above. */
#if defined(LOG_DEBUG) && !defined(VELMOR_NO_LOG_DEBUG)
#error \
    "LOG_DEBUG is already defined (by <syslog.h>?): define VELMOR_NO_LOG_DEBUG before including velmor/misc.h and log with VELMOR_LOG_DEBUG"
#endif

enum {
  VELMOR_LOG_DEBUG = 0,
  LOG_MESSAGE = 1,
  LOG_ERROR = 2,
  LOG_ACTION = 3,
  LOG_ACCESS = 4,
  LOG_CLOSE = 7,
  LOG_ERRNO = 0x10
};

#if !defined(LOG_DEBUG) && !defined(VELMOR_NO_LOG_DEBUG)
#define LOG_DEBUG VELMOR_LOG_DEBUG
#if defined(__GNUC__) && !defined(LOG_EMERG)
#pragma GCC poison LOG_EMERG
#endif
#endif

typedef struct charset_entry {
  const char *name;
  int32_t length;
} charset_entry;

typedef struct process_info_t {
  const char *name;              /* program name written into every log line */
  const char *log_files[8];      /* file of each level inside the day directory */
  int32_t log_day;               /* day number at which the log files were last closed */
  const char *hex_digits;        /* "0123456789ABCDEF" */
  const char *alphabet64;        /* the 64 characters of the short codes */
  const charset_entry *charsets; /* charset path segments, ended by a null name */
} process_info_t;

extern process_info_t process_info;

typedef struct time_cache_t {
  int64_t now;       /* clock at the latest update */
  struct tm local;   /* local time of now */
  int16_t day;       /* days since 2000-01-01 of the local date */
  char gmt_text[32]; /* now as "%a, %d %b %Y %H:%M:%S GMT" */
  int64_t refreshed; /* value of now when the fields above were computed */
} time_cache_t;

extern time_cache_t time_cache;

/* Days from 2000-01-01 to 1 January of 2000..2009. */
extern const int16_t year_start_days[10];

int64_t time_cache_update(void);

/* Appends one line "hh:mm:ss|name| message" (with LOG_ERRNO followed by
 * ": " and the text of errno) to the level's file (process_info.log_files)
 * in the day directory "logs/<YYYY-MM-DD>" under the working directory.
 * "logs" must exist; the day directory is created on first use, and the
 * process that creates it points "logs/current" at it. LOG_CLOSE closes the
 * files and writes nothing. One message is always one line: its trailing
 * line feeds are dropped and every other control byte (below 0x20 except
 * TAB, and 0x7F) is written as "\xHH" with lower-case hex digits; bytes from
 * 0x80 up are kept. The line, escapes and line feed included, is at most
 * 1024 bytes; a longer one is cut, never inside an escape.
 * A level whose file cannot be used writes to descriptor 2 instead, after a
 * report, until the next day change or LOG_CLOSE. That includes a day
 * directory that is a symbolic link or no directory, and a level file that
 * is a symbolic link or no regular file (a FIFO is refused, never waited
 * on): nothing is written or created where a planted link points. The files
 * are opened close-on-exec and never take descriptors 0 to 2.
 * Safe to call from any thread: one message at a time is written, under a
 * lock that a child of fork() gets anew. Also updates time_cache. Never
 * fails, returns 0 and leaves errno as it found it. */
int log_msg(int level, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/* ---- checked allocation ---- */

void *mem_alloc(size_t size, const char *file, unsigned int line);
void *mem_calloc(size_t size, const char *file, unsigned int line);
void *mem_realloc(void *block, size_t size, const char *file, unsigned int line);
void *mem_free(void *block);
char *mem_strdup(const char *text, const char *file, unsigned int line);

/* ---- reading a whole file ---- */

/* Whole file plus a terminator, owned by the caller (mem_free); *size (when
 * size is not null) is set only on success. Only regular files are read; the
 * open never waits (a FIFO is refused, not waited on). Null, without a
 * report, when the file cannot be examined (missing); null after a report
 * when it cannot be opened ("cannot open %s"), is not a regular file
 * ("cannot read %s: not a regular file"), is 2 GiB or larger, cannot be
 * allocated, a read fails ("cannot read %s") or the file ends before its
 * size ("short read %s (%d < %d)"): never part of a file. A failed close
 * after a whole read is reported ("cannot close %s") and the data kept. */
char *file_read_all(const char *path, int32_t *size);

/* ---- file status (begin) ---- */
/* Each examines path with stat (following symbolic links). */

/* Size in bytes; -1 when the file cannot be examined (no report). */
int64_t file_size(const char *path);

/* Modification time in whole seconds; 0 after reporting "cannot stat '%s'"
 * at LOG_ERROR|LOG_ERRNO. */
int64_t file_mtime(const char *path);

/* 1 when path can be examined (a file, a directory, ...), else 0; no report. */
int file_exists(const char *path);

/* Size of the file open on fd, or -1 when it cannot be examined (no report). */
int64_t fd_size(int fd);
/* ---- file status (end) ---- */

/* ---- directories (begin) ---- */
/* Paths handed to make_path, clear_dir and remove_tree are limited to 255
 * bytes; a longer one is refused (reported with "File name too long"), never
 * cut. Failures are reported through log_msg. */

/* Creates every missing directory of path (mode 0777 less the umask), each
 * after a "creating directory %s" message; true when all of them exist
 * afterwards, false at the first creation that fails. A path that exists as
 * anything but a directory (or a link to one) gives false, reported as
 * "cannot make directory %s: Not a directory". */
bool make_path(const char *path);

/* Unlinks every entry of a flat directory (subdirectories stay and are
 * reported), then removes it; true only when the directory is gone. A
 * symbolic link given as path (with or without trailing slashes) is refused
 * and nothing is removed: false after "cannot chdir to %s: Not a
 * directory". */
bool clear_dir(const char *path);

/* Removes the directory tree at path; symbolic links are removed as links
 * and never followed. True when the whole tree is gone; false after trying
 * every entry. */
bool remove_tree(const char *path);
/* ---- directories (end) ---- */

/* ---- moving files (begin) ---- */
/* Renames source to destination. Across file systems it copies source in
 * 128 KiB blocks into a new file beside the destination, named
 * "<destination>.<6 random letters and digits>" (so a destination over 248
 * bytes is refused there, "File name too long") and created with
 * O_EXCL|O_NOFOLLOW, mode 0666 less the umask; syncs it, renames it over the
 * destination, syncs the destination's directory and only then removes the
 * source. A failed copy leaves the destination as it was and no new file
 * behind, and a symbolic link at the destination is replaced, never written
 * through. The copy reads source through open(), so a symbolic link given as
 * source is copied as the file it names, and the link is then removed.
 * When source and destination are already one file (same device and inode:
 * the same entry spelt otherwise or through a bind mount, or hard links),
 * nothing is copied: for one directory entry nothing is done; for two names
 * of the file the source name is removed, as a rename would. 0 on success:
 * the destination names the data and the source name is gone (unless it is
 * the destination's own entry). -1 on failure with the source in place;
 * rename and open failures are left for the caller to report (errno tells);
 * copy, sync and unlink failures are reported ("cannot read from %s",
 * "cannot write to %s", "cannot sync %s", "cannot unlink %s"); after
 * "cannot sync" or "cannot unlink <source>" both files exist. */
int move_file(const char *source, const char *destination);
/* ---- moving files (end) ---- */

/* ---- daemon start (begin) ---- */
/* Changes to the installation root ($VELMOR_ROOT when set and not empty,
 * else the build's; see velmor(3)) and records this process in the pid file
 * "velmor/pids/<name>" under it; a failed change is reported ("cannot chdir
 * to %s") and the start goes on. name is used as given: pass a plain name.
 * Without detach, writes the pid and closes the file (no lock is taken).
 * With detach, takes an exclusive lock on the pid file (with refuse, gives
 * false when another instance holds it; without, goes on beside it after
 * "warning: another daemon is running"), forks (the parent exits with
 * status 0), starts a new session and puts /dev/null on descriptors 0 to 2;
 * the pid file stays open, and with it the lock, for the process's life.
 * True when this process goes on as the instance.
 * A symbolic link at the pid file is never followed: the start fails with
 * "cannot open %s: Too many levels of symbolic links". The pid file's
 * descriptor is close-on-exec and never one of 0 to 2, so a program the
 * daemon starts never holds the lock on after the daemon ends, and the
 * redirection to /dev/null never closes it. */
bool daemon_start(const char *name, bool detach, bool refuse);
/* ---- daemon start (end) ---- */

/* ---- hit counter (begin) ---- */
/* Counts one hit (none when close is true) and adds the pending hits to the
 * counter file "velmor/logs/<name>-count" under the installation root every
 * 1000 hits and on close; close also closes the file. A process has one
 * counter: the name given at the addition that opens the file chooses it,
 * until close. Returns the hits this process has counted: a child of fork()
 * starts from 0, since the hits pending at the fork are the parent's to add.
 * Each addition holds an exclusive lock on an open file of this process's
 * own (a child of fork() opens one at its first addition), so processes add
 * up exactly. The file is opened close-on-exec and never through a symbolic
 * link: a link there fails like any other open ("cannot open file %s: Too
 * many levels of symbolic links"). A file that cannot be opened is reported
 * once; the process then counts in memory only, for the rest of its life.
 * For one thread (velmor(3)). */
int32_t hit_count(const char *name, bool close);
/* ---- hit counter (end) ---- */

/* ---- calendar (begin) ---- */
/* Days from 2000-01-01 to the date of tm (tm_year and tm_yday) for the years
 * 2000 to 2178, whose days all fit in 16 bits; 0 for any other year. */
uint16_t day_number(const struct tm *tm);

/* Local date of a day number at 00:00 (negative numbers lie before 2000), in
 * a record owned by the function, valid until its next call. */
struct tm *day_to_tm(int16_t day);

/* Local time of 00:00 on day 7 * week of year (week 1 is January 7, week 0
 * December 31 of the year before, every week from 53 January 1 after). */
int64_t week_to_time(int year, int16_t week);

/* localtime() of a 32-bit time value (the platform's static record). */
struct tm *localtime32(const int32_t *seconds);

/* Time as text in one of seven styles, local 0 "%d/%b/%Y:%H:%M:%S",
 * 1 "%d/%b/%Y", 2 "%H:%M:%S", 3 "%Y-%m-%d", 4 "%Y-%m-%d %H:%M:%S", UTC
 * 5 "%a, %d %b %Y %H:%M:%S GMT", 6 "%a, %d-%b-%Y %H:%M:%S GMT"; any other
 * style gives "". The text lives in the calling thread's ring of eight
 * slots, valid until eight further calls. */
const char *time_text(int64_t seconds, int style);
/* ---- calendar (end) ---- */

/* ---- integer helpers (begin) ---- */
/* needed when it is 0x80000000 or more gives 0x80000000; otherwise start
 * doubled until it is not below needed (a start of 0 counts as 1). */
uint32_t grow_pow2(uint32_t needed, int start);

/* Number of 1 bits of value. */
int bit_count(uint32_t value);
/* ---- integer helpers (end) ---- */

#ifdef __cplusplus
}
#endif

#endif
