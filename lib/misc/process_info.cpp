// The process-wide record: program name, log file names, constant tables.
#include "misc.h"

namespace {

const charset_entry charset_list[] = {
    {"windows-1251", 12}, {"cp-1251", 7}, {"cp1251", 6},   {"koi8-r", 6}, {"koi", 3},
    {"ibm866", 6},        {"cp-866", 6},  {"cp866", 5},    {"dos", 3},    {"iso-8859-5", 10},
    {"iso8859-5", 9},     {"x-mac", 5},   {"translit", 8}, {"koi7", 4},   {nullptr, 0},
};

}  // namespace

extern "C" {

process_info_t process_info = {
    "undef",
    {"debug.log", "message.log", "error.log", "action.log", "access.log", nullptr, nullptr,
     nullptr},
    -1,
    "0123456789ABCDEF",
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-_",
    charset_list,
};

}  // extern "C"
