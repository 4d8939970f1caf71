/* Text utilities. C interface; texts are NUL-terminated byte strings.
 * Include as <velmor/str.h> (pkg-config velmor, or the CMake target
 * Velmor::velmor); manual pages velmor_str(3), and ownership of results
 * (rings, static buffers) and threads in velmor(3).
 *
 * Rings: results "in a ring of N slots" stay valid until N further calls of
 * the same function by the same thread; every thread has rings of its own.
 * Rings are
 * fixed storage: a function that returns a ring text never allocates and
 * never fails. */
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

/* True when the whole text, with no other byte before or after, is one IPv6
 * address; addr then holds its 16 bytes in network order. Read: groups of 1
 * to 4 hex digits in either case, at most one "::", a dotted quad of decimal
 * octets 0-255 without leading zeros as the last 32 bits; no zone id, no
 * brackets, no prefix length (exactly what glibc's inet_pton accepts).
 * Otherwise, and for a null text, false with addr set to 16 zero bytes. A
 * null addr gives false. */
bool str_ip6_parse(const char *text, uint8_t addr[16]);

/* Canonical text of the 16 network-order bytes of addr (RFC 5952: lower case,
 * no leading zeros, the first longest run of two or more zero groups as
 * "::"), in a ring of 2 slots: valid until the next call but one. Unlike the
 * other rings this one is the process's, not the thread's: a call from any
 * thread counts, so call it from one thread at a time. Every address is
 * written in hex groups, IPv4-mapped ones too ("::ffff:102:304", as Python's
 * ipaddress writes it). "" for a null addr. */
const char *str_ip6_format(const uint8_t addr[16]);

/* ---- checked formatting (begin) ---- */
/* snprintf into buf that reports its own failures with the caller's file and
 * line at LOG_ERROR: no buffer (null or size <= 0; buf untouched, gives 0),
 * a negative result (gives 0), or a cut text (gives size - 1). Otherwise the
 * number of bytes stored, without the terminator. */
int str_snprintf(const char *file, int line, char *buf, int size, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 5, 6)))
#endif
    ;
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

/* h = h * 65599 + byte over the text, modulo 2^32. */
uint32_t str_hash(const char *text);

/* Decimal text with ',' between groups of three digits, in a ring of 40
 * slots. */
const char *str_num_grouped(int64_t value);

/* Hexadecimal number after leading TAB, LF, CR or spaces and one optional
 * sign; no "0x" prefix; 0 for a null text. */
int64_t str_hex_parse(const char *text);

/* Reverses the bytes of text in place. */
void str_reverse(char *text);

/* Heap copy of text (release with mem_free); null for null or on failure. */
char *str_dup(const char *text);

/* Cuts a copy of source (its first 1023 bytes) into tokens on any run of the
 * delimiter bytes, as strtok does, and copies them in order into the output
 * buffers that follow, ended by a null pointer. Each output holds at most
 * size - 2 characters; outputs left over are emptied. 1 on success, 0 when
 * size is below 1 (outputs are then untouched). Ends any strtok sequence in
 * progress. The copy is a static buffer: for one thread at a time. */
int str_split(const char *source, const char *delimiters, int32_t size, ...);

/* printf into the next of 8 rotating 1024-byte buffers of the calling
 * thread (cut to fit); valid until eight further calls. */
char *str_printf(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/* Short codes over process_info.alphabet64, 6 bits per character, most
 * significant first. str_code_init (re)builds the decoding table from the
 * alphabet and gives 1 (str_code_decode builds it on first use; rebuild it
 * after changing the alphabet); the encoders return static texts of 6 and 12
 * characters, overwritten by the next call; str_code_decode reads at most 6
 * characters (0 for null or empty). */
int str_code_init(void);
const char *str_code_encode(uint32_t value);
const char *str_code_encode2(uint32_t first, uint32_t second);
uint32_t str_code_decode(const char *code);

/* 1 when every byte is an ASCII letter or digit or one of: "-._" (filename),
 * "-./_" (path), "-/_" (path_nodot), ",-./_" (path_list); str_is_ascii: any
 * byte 0x01-0x7F; str_is_email: local@host.rest. The empty text passes all
 * but str_is_email. */
int str_is_filename(const char *text);
int str_is_path(const char *text);
int str_is_path_nodot(const char *text);
int str_is_path_list(const char *text);
int str_is_ascii(const char *text);
int str_is_email(const char *text);

/* Cuts path at its last '/' among its first length bytes; returns that index
 * (the new length), or 0 when there is none. */
int32_t str_dirname(char *path, int32_t length);
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

/* Turns the visited address in buffer (an http or https URL, or with bare
 * set also "host/path") into the key "host/path" in place: scheme, port,
 * fragment, query, everything from the first ';', a "www" prefix, a leading
 * charset segment and a final index page removed, host lower-cased, escapes
 * decoded. The buffer must hold strlen(buffer) + 2 bytes, since a bare
 * host gains a '/'. When host is not null it receives the host
 * (in a static buffer; then a host without '.' gives 0); when query is not
 * null it receives the query text inside buffer. Returns 1 for a key, 0
 * when there is none. Works in static buffers (the host's and a copy of the
 * last path segment): for one thread at a time. */
int str_url_normalize(char *buffer, const char **host, char **query, bool bare);

/* ---- address normalization (end) ---- */

#ifdef __cplusplus
}
#endif

#endif
