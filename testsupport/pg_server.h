// A throwaway PostgreSQL server for the store's tests: a cluster made with
// initdb in a temporary directory, started and stopped with pg_ctl,
// listening only on a Unix socket in that directory.  Run as root, the
// server's commands run as the `postgres` user (the server refuses root),
// and the directory belongs to it.  Removed when the object goes.
#pragma once

#include <string>

namespace smstest {

class PgServer {
 public:
  PgServer() = default;
  ~PgServer();
  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

  // Finds initdb and pg_ctl (on PATH, else the newest
  // /usr/lib/postgresql/*/bin) and makes the cluster.  False, with the
  // reason for a skip in `why`, when they are missing or initdb fails.
  bool create(std::string* why);
  // Starts (and waits for) the server; false with pg_ctl's output in `why`.
  bool start(std::string* why);
  // Stops it (fast shutdown); false with pg_ctl's output in `why`.
  bool stop(std::string* why);

  // The store URL of database `database` (created by create_database).
  std::string url(const std::string& database = "postgres") const;
  // CREATE DATABASE through psql; false with its output in `why`.
  bool create_database(const std::string& database, std::string* why);
  // Runs `sql` with psql in `database` (unaligned, tuples only) and gives
  // what it printed.  False, with the error in `output`, when it fails.
  bool psql(const std::string& database, const std::string& sql, std::string* output) const;
  // Whether the PostGIS extension is installed for this server.
  bool has_postgis() const;

 private:
  std::string bin_;      // folder of initdb and pg_ctl
  std::string dir_;      // the temporary directory: data/, the socket, log
  std::string runuser_;  // as root: the program that runs the server's commands as postgres
  bool root_ = false;
  bool running_ = false;
};

}  // namespace smstest
