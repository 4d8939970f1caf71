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

/* Value 0-15 of a hex digit (0-9, A-F, a-f), -1 for every other byte. */
int str_hex_value(unsigned char c);

/* Decodes form data in place: '+' to space, "%XX" to a byte, "%u" and up to
 * four hex digits to a character of the current locale ('?' when it has
 * none). A malformed escape stays as it is. Returns text (null for null). */
char *str_url_decode(char *text);

/* Decodes "%XX" escapes in place; '+' and "%u" stay. Returns text. */
char *str_percent_decode(char *text);

/* Decodes decimal references "&#NNN;" in place into characters of the
 * current locale ('?' when it has none); every other '&' stays. */
char *str_entity_decode(char *text);

/* Escapes every byte outside , - . / 0-9 : ; A-Z ^ _ ` a-z as "%XX".
 * Null for null, text itself when empty, else a static buffer valid until
 * the next call; the output is cut after 16381 bytes or more. */
const char *str_url_encode(const char *text);

/* 1 when str_url_encode copies c unchanged, else 0 (0 for 0x80-0xFF). */
int str_url_is_safe(signed char c);

/* Escapes only space, '"', '<', '>' and 0x80-0xFF as "%XX". A static empty
 * text for null or empty input, else a static buffer valid until the next
 * call; the output is cut after 1021 bytes or more. */
const char *str_url_encode_min(const char *text);

/* Replaces '"', '&', '<' and '>' by their HTML entities. Returns text itself
 * when it holds none of them, else a library buffer valid until the next
 * call that escapes something; an empty text when that buffer cannot be
 * allocated. */
const char *str_html_escape(const char *text);

/* Puts a backslash before every '"'. Returns text itself when it holds none,
 * else a library buffer as for str_html_escape. */
const char *str_quote_escape(const char *text);

/* ---- decoding and escaping (end) ---- */

/* ---- string assembly and editing (begin) ---- */

/* Removes every backslash from each text of the null-ended list, keeping the
 * byte after it literally; a lone final backslash simply ends the text. */
void str_unescape(char *text, ...);

/* Removes every CR from each text of the null-ended list. */
void str_strip_cr(char *text, ...);

/* In each text of the null-ended list, deletes the bytes of from (to empty),
 * replaces them by to's only byte, or maps them position by position onto to
 * (its last byte repeating). Does nothing when from is null or empty or to
 * is null. */
void str_tr(const char *from, const char *to, ...);

/* New heap text (free it) joining the texts of the null-ended list; a new
 * empty text when text is null. Null when the total reaches 2147483647
 * bytes or the allocation fails. */
char *str_concat_alloc(const char *text, ...);

/* Reallocates *block (a heap text or null) to hold itself followed by the
 * texts of the null-ended list; stores and returns the new block. On failure
 * (allocation, or a total of 2147483647 bytes or more) returns null and
 * leaves *block as it was. */
char *str_append_list(char **block, ...);

/* str_append_list with one text; a null text leaves *block alone and
 * returns it. */
char *str_append(char **block, const char *text);

/* Overwrites trailing white space (TAB, LF, CR, space) with NULs and returns
 * a pointer past the leading white space. */
char *str_trim(char *text);

/* Splits a text longer than 47 bytes into pieces joined by "\"+\n\"",
 * cutting before white space so that the first line (which starts at column
 * 17) holds at most 48 characters and each later one at most 64. Returns
 * text itself when short, else a library buffer valid until the next call;
 * an empty text when that buffer cannot be allocated. */
const char *str_wrap_quoted(const char *text);

/* ---- string assembly and editing (end) ---- */

/* ---- character classes and case folding (begin) ---- */
/* ---- character classes and case folding (end) ---- */

/* ---- numbers, fields and short codes (begin) ---- */
/* ---- numbers, fields and short codes (end) ---- */

/* ---- human-readable values (begin) ---- */
/* ---- human-readable values (end) ---- */

/* ---- address normalization (begin) ---- */

/* Turns the visited address in buffer (an http or https URL, or with bare
 * set also "host/path") into the key "host/path" in place: scheme, port,
 * fragment, query, everything from the first ';', a "www" prefix, a leading
 * charset segment and a final index page removed, host lower-cased, escapes
 * decoded. The buffer must hold strlen(buffer) + 2 bytes, since a bare
 * host gains a '/'. When host is not null it receives the host
 * (in a static buffer; then a host without '.' gives 0); when query is not
 * null it receives the query text inside buffer. Returns 1 for a key, 0
 * when there is none. */
int str_url_normalize(char *buffer, const char **host, char **query, bool bare);

/* ---- address normalization (end) ---- */

#ifdef __cplusplus
}
#endif

#endif
