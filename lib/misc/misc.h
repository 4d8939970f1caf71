/* Runtime services: process record, logger, checked allocation, files,
 * directories, daemon start, hit counter and calendar.
 * C interface; every function is safe to call before any other. */
#ifndef VELMOR_MISC_H
#define VELMOR_MISC_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- process record and logger ---- */

enum {
  LOG_DEBUG = 0,
  LOG_MESSAGE = 1,
  LOG_ERROR = 2,
  LOG_ACTION = 3,
  LOG_ACCESS = 4,
  LOG_CLOSE = 7,
  LOG_ERRNO = 0x10
};

typedef struct charset_entry {
  const char *name;
  int32_t length;
} charset_entry;

typedef struct process_info_t {
  const char *name;          /* program name written into every log line */
  const char *log_files[8];  /* file of each level inside the day directory */
  int32_t log_day;           /* day number at which the log files were last closed */
  const char *hex_digits;    /* "0123456789ABCDEF" */
  const char *alphabet64;    /* the 64 characters of the short codes */
  const charset_entry *charsets; /* charset path segments, ended by a null name */
} process_info_t;

extern process_info_t process_info;

typedef struct time_cache_t {
  int64_t now;          /* clock at the latest update */
  struct tm local;      /* local time of now */
  int16_t day;          /* days since 2000-01-01 of the local date */
  char gmt_text[32];    /* now as "%a, %d %b %Y %H:%M:%S GMT" */
  int64_t refreshed;    /* value of now when the fields above were computed */
} time_cache_t;

extern time_cache_t time_cache;

/* Days from 2000-01-01 to 1 January of 2000..2009. */
extern const int16_t year_start_days[10];

int64_t time_cache_update(void);

/* Appends one line to the day's file of the level; never fails, returns 0
 * and leaves errno as it found it. */
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

/* ---- files ---- */

/* Whole file plus a terminator, owned by the caller (mem_free); null when the
 * file cannot be examined, opened or allocated, or is 2 GiB or larger. */
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
/* ---- file status (end) ---- */

/* ---- directories and file moves (begin) ---- */
/* ---- directories and file moves (end) ---- */

/* ---- daemon start and hit counter (begin) ---- */
/* ---- daemon start and hit counter (end) ---- */

/* ---- calendar (begin) ---- */
/* ---- calendar (end) ---- */

#ifdef __cplusplus
}
#endif

#endif
