#include "serviceoptions.h"

#include <glib.h>

namespace {

void assignDevice(gchar *given, std::string *target)
{
    if (given && *given)
        *target = given;
    g_free(given);
}

} // namespace

bool ServiceOptions::parse(int argc, char **argv, std::string *error)
{
    gboolean optVerbose = FALSE, optReal = FALSE, optVersion = FALSE;
    gchar *optDevice = nullptr, *optVnd = nullptr, *optPlugin = nullptr, *optRecord = nullptr;
    const GOptionEntry entries[] = {
        {"verbose", 'v', 0, G_OPTION_ARG_NONE, &optVerbose, "Enable verbose output", nullptr},
        {"device", 'd', 0, G_OPTION_ARG_STRING, &optDevice, "Binder device [/dev/vororoveredi]", "DEVICE"},
        {"vnddevice", 'n', 0, G_OPTION_ARG_STRING, &optVnd, "Binder vendor device [/dev/vndvororoveredi]", "DEVICE"},
        {"plugin", 'p', 0, G_OPTION_ARG_STRING, &optPlugin, "Plugins to load", "FILE"},
        {"test_record", 't', 0, G_OPTION_ARG_FILENAME, &optRecord,
         "Test recording by passing raw audio to use for record stream.", "FILE"},
        {"test_record_real", 0, 0, G_OPTION_ARG_NONE, &optReal,
         "When using test record read audio from PulseAudio but write debug audio to input stream.", nullptr},
        {"version", 0, 0, G_OPTION_ARG_NONE, &optVersion, "Print version and exit", nullptr},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    GOptionContext *context = g_option_context_new(nullptr);
    g_option_context_add_main_entries(context, entries, nullptr);
    GError *gerror = nullptr;
    const bool ok = g_option_context_parse(context, &argc, &argv, &gerror);
    g_option_context_free(context);
    if (!ok) {
        *error = gerror ? gerror->message : "cannot parse the command line";
        g_clear_error(&gerror);
        g_free(optDevice);
        g_free(optVnd);
        g_free(optPlugin);
        g_free(optRecord);
        return false;
    }
    verbose = optVerbose;
    testRecordReal = optReal;
    version = optVersion;
    assignDevice(optDevice, &device);
    assignDevice(optVnd, &vndDevice);
    if (optPlugin) {
        gchar **names = g_strsplit(optPlugin, ",", -1);
        for (gchar **name = names; *name; ++name)
            plugins.emplace_back(*name);
        g_strfreev(names);
        g_free(optPlugin);
    }
    if (optRecord) {
        testRecord = optRecord;
        g_free(optRecord);
    }
    return true;
}
