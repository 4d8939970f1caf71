/* Text utilities. C interface; texts are NUL-terminated byte strings. */
#ifndef VELMOR_STR_H
#define VELMOR_STR_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- core helpers ---- */

/* Concatenates the texts up to a null pointer into dst; a result that does
 * not fit (with its terminator) empties dst and gives 0. */
int str_concat(char *dst, int size, ...);

/* Decimal text of value in a ring of 40 slots. */
const char *str_num(int64_t value);

/* First dotted quad in text, first octet most significant; 0xFFFFFFFF when
 * there is none, 0 for a null text. */
uint32_t str_ip_parse(const char *text);

/* Dotted quad of addr in a ring of 2 slots. */
const char *str_ip_format(uint32_t addr);

/* Cuts one trailing LF, then one trailing CR. */
char *str_chomp(char *text);

/* LF, CR, space or TAB. */
bool str_is_space(int c);

/* Copies at most size - 1 bytes of src and a terminator (size >= 1). */
void str_copy(char *dst, const char *src, int32_t size);

/* ---- checked formatting (begin) ---- */
/* ---- checked formatting (end) ---- */

/* ---- decoding and escaping (begin) ---- */
/* ---- decoding and escaping (end) ---- */

/* ---- string assembly and editing (begin) ---- */
/* ---- string assembly and editing (end) ---- */

/* ---- character classes and case folding (begin) ---- */
/* ---- character classes and case folding (end) ---- */

/* ---- numbers, fields and short codes (begin) ---- */
/* ---- numbers, fields and short codes (end) ---- */

/* ---- human-readable values (begin) ---- */
/* Byte count as five characters: "%5lld" below 1000, else 1.00k, 10.0k,
 * " 100k" ... with units k, M, G, T of 1024. Ring of four slots. */
const char *str_size_text(int64_t bytes);

/* Seconds rounded to the largest fitting unit: "119s", "2m", "35h", "2d".
 * Ring of four slots. */
const char *str_duration_text(int32_t seconds);
/* ---- human-readable values (end) ---- */

/* ---- address normalization (begin) ---- */
/* ---- address normalization (end) ---- */

#ifdef __cplusplus
}
#endif

#endif
