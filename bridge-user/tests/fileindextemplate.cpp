// ferry-file-index-template DIR: the empty database `tracker3 endpoint
// --ontology nepomuk` makes, made once at build time (see fileindex.h).
#include <libtracker-sparql/tracker-sparql.h>

#include <cstdio>

int main(int argc, char **argv)
{
    GError *error = nullptr;
    TrackerSparqlConnection *connection = argc == 2
        ? tracker_sparql_connection_new(TRACKER_SPARQL_CONNECTION_FLAGS_NONE, g_file_new_for_path(argv[1]),
                                        tracker_sparql_get_ontology_nepomuk(), nullptr, &error)
        : nullptr;
    if (!connection) {
        std::fprintf(stderr, "usage: %s DIR (%s)\n", argv[0], error ? error->message : "");
        return 1;
    }
    tracker_sparql_connection_close(connection);
    return 0;
}
