// novumaudioservice: serves Android's audio HAL on the vendor binder device
// and plays and records its streams through PulseAudio, under the policy of
// the plugins it loads.
#include "audioservice.h"
#include "serviceoptions.h"
#include "servicelog_p.h"

#include <cstdio>

int main(int argc, char **argv)
{
    audiolog_set_default_level(AUDIOLOG_LEVEL_INFO);
    ServiceOptions options;
    std::string error;
    if (!options.parse(argc, argv, &error)) {
        SERVICE_ERR("%s", error.c_str());
        return 1;
    }
    if (options.verbose)
        audiolog_set_default_level(AUDIOLOG_LEVEL_VERBOSE);
    if (options.version) {
        printf("%s v%s\n", AudioService::kServiceName, AudioService::kVersion);
        return 0;
    }
    AudioService service(options);
    return service.run();
}
