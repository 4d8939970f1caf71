/* The text utilities called from C: null-ended lists, library-owned results
 * and the address normalizer's output pointers. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "c_check.h"
#include "str.h"

int main(void) {
  char form[] = "a+b%41";
  check(strcmp(str_url_decode(form), "a bA") == 0, "str_url_decode");
  check(strcmp(str_url_encode("a b"), "a%20b") == 0, "str_url_encode");
  check(strcmp(str_html_escape("<"), "&lt;") == 0, "str_html_escape");

  char one[] = "x\\y";
  char two[] = "aXb";
  str_unescape(one, (char *)NULL);
  str_tr("X", "", two, (char *)NULL);
  check(strcmp(one, "xy") == 0 && strcmp(two, "ab") == 0, "str_unescape, str_tr");

  char *text = str_concat_alloc("a", "b", (char *)NULL);
  check(str_append_list(&text, "c", (char *)NULL) != NULL && strcmp(text, "abc") == 0,
        "str_concat_alloc, str_append_list");
  free(text);

  char url[64] = "http://www.Example.com/x/index.html?q=1";
  const char *host = NULL;
  char *query = NULL;
  check(str_url_normalize(url, &host, &query, false) == 1 && strcmp(url, "example.com/x/") == 0 &&
            strcmp(host, "www.example.com") == 0 && strcmp(query, "q=1") == 0,
        "str_url_normalize");
  uint8_t addr[16];
  check(str_ip6_parse("::ffff:10.0.0.1", addr) && addr[10] == 0xFF && addr[15] == 1,
        "str_ip6_parse");
  check(strcmp(str_ip6_format(addr), "::ffff:a00:1") == 0, "str_ip6_format");
  if (failures == 0) printf("text utilities from C: all checks passed\n");
  return failures != 0;
}
