// The command line of novumaudioservice.
#pragma once

#include <string>
#include <vector>

struct ServiceOptions {
    bool verbose = false;
    std::string device = "/dev/vororoveredi";
    std::string vndDevice = "/dev/vndvororoveredi";
    std::vector<std::string> plugins;   // names, in load order
    std::string testRecord;             // raw audio for input streams, empty: none
    bool testRecordReal = false;
    bool version = false;

    // GLib option parsing; false with the parser's message in *error.
    // Empty device strings count as not given.
    bool parse(int argc, char **argv, std::string *error);
};
