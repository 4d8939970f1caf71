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

/* Case-folding table for ASCII and Windows-1251 bytes: A-Z and the Cyrillic
 * capitals to small letters, Ё and ё to е, every other byte to itself.
 * Built by str_fold_init; str_fold_ready tells whether it has been. */
extern unsigned char str_fold_table[256];
extern bool str_fold_ready;

/* (Re)builds str_fold_table and sets str_fold_ready. */
void str_fold_init(void);

/* Folded form (0-255) of the low 8 bits of c. */
int str_fold_char(int c);

/* Folds every byte of text in place; returns text. */
char *str_fold(char *text);

/* Lower-cases text in place in the current locale (ASCII through the folding
 * table); stops at the first sequence that does not decode. A character whose
 * lower-case form has another encoded length is left as it is. Returns text. */
char *str_lower(char *text);

/* Characters of multibyte text; a byte that does not decode within 3 bytes
 * counts as one character. */
int32_t str_char_count(const char *text);

/* 1 for Hebrew, Arabic and CJK code points and for those the locale calls
 * alphabetic, digit or number; else 0. */
int str_is_word_char(uint32_t c);

/* 1 for ASCII 0-9, A-Z, a-z; 0 for everything else, 0x80-0xFF included. */
int str_is_alnum(signed char c);

/* 1 for ASCII 0-9. */
int str_is_digit(char c);

/* 1 for ASCII digits and letters and the Windows-1251 Cyrillic letters. */
int str_is_alnum_1251(unsigned char c);
/* ---- character classes and case folding (end) ---- */

/* ---- numbers, fields and short codes (begin) ---- */
/* ---- numbers, fields and short codes (end) ---- */

/* ---- human-readable values (begin) ---- */
/* ---- human-readable values (end) ---- */

/* ---- address normalization (begin) ---- */
/* ---- address normalization (end) ---- */

#ifdef __cplusplus
}
#endif

#endif
