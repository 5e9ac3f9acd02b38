// ferry-file-index-template DIR: an empty Tracker database with the
// nepomuk ontology in DIR, as `tracker3 endpoint --ontology nepomuk` makes
// it. Made once at build time; endpoints of the guest tests start from a
// copy, since building the schema takes seconds in the emulated guest.
#include <libtracker-sparql/tracker-sparql.h>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    GError *error = nullptr;
    GFile *store = g_file_new_for_path(argv[1]);
    GFile *ontology = tracker_sparql_get_ontology_nepomuk();
    TrackerSparqlConnection *connection =
        tracker_sparql_connection_new(TRACKER_SPARQL_CONNECTION_FLAGS_NONE, store, ontology, nullptr, &error);
    g_object_unref(ontology);
    g_object_unref(store);
    if (!connection) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error->message);
        g_error_free(error);
        return 1;
    }
    tracker_sparql_connection_close(connection);
    g_object_unref(connection);
    return 0;
}
