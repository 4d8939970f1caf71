// The temporary files of runs that died: a run writes each of a table's
// files under "<file>.<pid>" and renames it into place, so a run killed
// half-way (power cut, out-of-memory kill, kill -9) leaves its temporaries
// behind for ever unless a later run removes them.
#pragma once

namespace velmor_tools {

// Removes from conf/ under the working directory every "<file>.<pid>" of
// table's files (conf/<table>, conf/<table>.ips, conf/<table>6.ips,
// conf/<table>.ipt) whose pid is no running process: the name itself, never
// what a link there points to. Each removal is logged. Call it only while
// holding the table's lock (table_lock.h): no other writer is then between
// creating such a file and renaming it.
void remove_stale_temporaries(const char *table);

}  // namespace velmor_tools
