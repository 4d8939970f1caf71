/* A unit that uses syslog and the library's logger: <syslog.h> first, so
 * LOG_DEBUG stays syslog's and the logger's debug level is
 * VELMOR_LOG_DEBUG. */
#define VELMOR_NO_LOG_DEBUG
#include <syslog.h>
#include <velmor/misc.h>

int syslog_debug_level(void) { return LOG_DEBUG; }
int velmor_debug_level(void) { return VELMOR_LOG_DEBUG; }
