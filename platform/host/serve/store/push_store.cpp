#include "platform/host/serve/store/push_store.hpp"

#include <sqlite3.h>

#include <array>
#include <condition_variable>
#include <map>
#include <mutex>
#include <unordered_map>

namespace host::serve {
namespace {

constexpr const char* schema = R"sql(
CREATE TABLE IF NOT EXISTS devices(token TEXT PRIMARY KEY, bundle TEXT NOT NULL,
  first_seen INTEGER NOT NULL, environment TEXT NOT NULL DEFAULT 'development',
  system_version TEXT NOT NULL DEFAULT '', frequent_updates INTEGER NOT NULL DEFAULT 1,
  online INTEGER NOT NULL DEFAULT 1, priority10_limit INTEGER, push_to_start_limit INTEGER);

CREATE TABLE IF NOT EXISTS activities(
  id TEXT PRIMARY KEY, type TEXT NOT NULL, device_token TEXT NOT NULL, update_token TEXT NOT NULL,
  bundle TEXT NOT NULL, channel TEXT NOT NULL, attributes TEXT NOT NULL, state TEXT NOT NULL,
  ended INTEGER NOT NULL, stale_date REAL, dismissal_date REAL, last_timestamp REAL,
  ended_at INTEGER NOT NULL, created_at INTEGER NOT NULL, relevance_score REAL,
  timestamp_apns_id TEXT NOT NULL DEFAULT '', timestamp_at INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS activities_update_token ON activities(update_token);
CREATE INDEX IF NOT EXISTS activities_channel ON activities(channel);
CREATE INDEX IF NOT EXISTS activities_created ON activities(created_at);
CREATE INDEX IF NOT EXISTS activities_device ON activities(device_token, created_at);
CREATE TABLE IF NOT EXISTS channels(id TEXT PRIMARY KEY, bundle TEXT NOT NULL,
                                    storage_policy INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS pushes(
  seq INTEGER PRIMARY KEY AUTOINCREMENT, apns_id TEXT NOT NULL, time INTEGER NOT NULL,
  path TEXT NOT NULL, token TEXT NOT NULL, headers TEXT NOT NULL, body BLOB NOT NULL,
  status INTEGER NOT NULL, reason TEXT NOT NULL, verdict TEXT NOT NULL, error TEXT NOT NULL,
  warnings TEXT NOT NULL, activity_id TEXT NOT NULL, body_bytes INTEGER NOT NULL DEFAULT 0,
  shown INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS pushes_activity ON pushes(activity_id, seq) WHERE activity_id != '';
CREATE TABLE IF NOT EXISTS deliveries(
  push_seq INTEGER NOT NULL, ordinal INTEGER NOT NULL, activity_id TEXT NOT NULL,
  verdict TEXT NOT NULL, error TEXT NOT NULL, warnings TEXT NOT NULL,
  shown INTEGER NOT NULL DEFAULT 0, PRIMARY KEY(push_seq, ordinal)) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS deliveries_activity ON deliveries(activity_id, push_seq);
CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL);
)sql";

// The schema's version, in `PRAGMA user_version`. A push's first delivery lives in its own row
// (the one every push to an update token has: one row and one index entry per push); only a
// broadcast's further deliveries, ordinal 1 on, go to `deliveries`. So a store of version 0,
// which kept one activity per push, is already whole; its index of applied pushes gives way to
// the index of every push by activity.
// Version 3: a device's settings, an activity's relevance score and the push that set its
// timestamp, and whether each delivery was shown (an `ended` after the end is not).
constexpr int schemaVersion = 3;
constexpr const char* migrationFrom0 = "DROP INDEX IF EXISTS pushes_applied;";

// The columns version 3 added, each with what an older row takes.
struct AddedColumn {
  const char* table;
  const char* name;
  const char* declaration;
  const char* fill;  // an UPDATE for the rows that were there, or null
};
constexpr std::array<AddedColumn, 11> addedIn3{{
    {"pushes", "shown", "INTEGER NOT NULL DEFAULT 0",
     "UPDATE pushes SET shown = verdict IN ('applied', 'ended')"},
    {"deliveries", "shown", "INTEGER NOT NULL DEFAULT 0",
     "UPDATE deliveries SET shown = verdict IN ('applied', 'ended')"},
    {"activities", "relevance_score", "REAL", nullptr},
    {"activities", "timestamp_apns_id", "TEXT NOT NULL DEFAULT ''", nullptr},
    {"activities", "timestamp_at", "INTEGER NOT NULL DEFAULT 0", nullptr},
    {"devices", "environment", "TEXT NOT NULL DEFAULT 'development'", nullptr},
    {"devices", "system_version", "TEXT NOT NULL DEFAULT ''", nullptr},
    {"devices", "frequent_updates", "INTEGER NOT NULL DEFAULT 1", nullptr},
    {"devices", "online", "INTEGER NOT NULL DEFAULT 1", nullptr},
    {"devices", "priority10_limit", "INTEGER", nullptr},
    {"devices", "push_to_start_limit", "INTEGER", nullptr},
}};

constexpr std::array<std::string_view, 10> verdictNames{
    "applied",     "dropped",   "ignored", "ended",          "rejected",
    "not-started", "throttled", "stored",  "delivered-late", "expired"};

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement_, nullptr) !=
        SQLITE_OK) {
      throw StoreError(std::string("store: ") + sqlite3_errmsg(db));
    }
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    index_ = 0;
    return *this;
  }
  Statement& bind(std::string_view text) {
    check(sqlite3_bind_text(statement_, ++index_, text.data(), static_cast<int>(text.size()),
                            SQLITE_STATIC));
    return *this;
  }
  Statement& bindBlob(const std::string& bytes) {
    check(sqlite3_bind_blob(statement_, ++index_, bytes.data(), static_cast<int>(bytes.size()),
                            SQLITE_STATIC));
    return *this;
  }
  Statement& bind(std::int64_t value) {
    check(sqlite3_bind_int64(statement_, ++index_, value));
    return *this;
  }
  Statement& bind(const std::optional<double>& value) {
    check(value ? sqlite3_bind_double(statement_, ++index_, *value)
                : sqlite3_bind_null(statement_, ++index_));
    return *this;
  }
  // True while a row is there.
  bool step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw StoreError(std::string("store: ") + sqlite3_errmsg(db_));
  }
  void run() {
    while (step()) {
    }
    sqlite3_reset(statement_);
  }
  std::string text(int column) const {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    return bytes ? std::string(bytes,
                               static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
                 : std::string();
  }
  std::int64_t integer(int column) const { return sqlite3_column_int64(statement_, column); }
  std::optional<double> real(int column) const {
    if (sqlite3_column_type(statement_, column) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_double(statement_, column);
  }

 private:
  void check(int rc) {
    if (rc != SQLITE_OK) throw StoreError(std::string("store: ") + sqlite3_errmsg(db_));
  }
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
  int index_ = 0;
};

constexpr const char* activityColumns =
    "id, type, device_token, update_token, bundle, channel, attributes, state, ended, "
    "stale_date, dismissal_date, last_timestamp, ended_at, created_at, relevance_score, "
    "timestamp_apns_id, timestamp_at";

ActivityRecord activityFrom(const Statement& row) {
  ActivityRecord a;
  a.id = row.text(0);
  a.type = row.text(1);
  a.deviceToken = row.text(2);
  a.updateToken = row.text(3);
  a.bundle = row.text(4);
  a.channel = row.text(5);
  a.attributes = row.text(6);
  a.state = row.text(7);
  a.ended = row.integer(8) != 0;
  a.staleDate = row.real(9);
  a.dismissalDate = row.real(10);
  a.lastTimestamp = row.real(11);
  a.endedAtMs = row.integer(12);
  a.createdAtMs = row.integer(13);
  a.relevanceScore = row.real(14);
  a.timestampApnsId = row.text(15);
  a.timestampAtMs = row.integer(16);
  return a;
}

constexpr const char* deviceColumns =
    "token, bundle, first_seen, environment, system_version, frequent_updates, online, "
    "priority10_limit, push_to_start_limit";

DeviceRecord deviceFrom(const Statement& row) {
  DeviceRecord d;
  d.token = row.text(0);
  d.bundle = row.text(1);
  d.firstSeenMs = row.integer(2);
  d.environment = row.text(3) == "production" ? Environment::production : Environment::development;
  d.systemVersion = row.text(4);
  d.frequentUpdates = row.integer(5) != 0;
  d.online = row.integer(6) != 0;
  if (const auto limit = row.real(7)) d.priority10Limit = static_cast<std::int64_t>(*limit);
  if (const auto limit = row.real(8)) d.pushToStartLimit = static_cast<std::int64_t>(*limit);
  return d;
}

}  // namespace

struct PushStore::Impl {
  sqlite3* db = nullptr;
  bool inTransaction = false;
  std::map<std::string, std::unique_ptr<Statement>> statements;

  // Activities that take pushes on their update token, as the open transaction has them. A busy
  // activity is updated by most of a batch's pushes: its row is written once, at the commit.
  struct CachedActivity {
    ActivityRecord record;
    bool dirty = false;
  };
  std::unordered_map<std::string, CachedActivity> hot;  // by update token
  std::size_t dirtyCount = 0;
  static constexpr std::size_t hotLimit = 4096;
  std::vector<HistoryEntry> pending;  // added, not yet in the table
  Retention retention;
  std::int64_t insertedSincePrune = 0;
  static constexpr std::int64_t pruneEvery = 1000;

  // While a sealed batch commits on another thread, SQLite is the commit's alone.
  std::mutex idleLock;  // guards `committing`
  std::condition_variable idleChanged;
  bool committing = false;

  // Commits a sealed batch; a failed one is rolled back and thrown.
  void commitSealed(PushStore::Sealed& sealed) {
    if (!sealed.open) return;
    sealed.open = false;
    std::optional<StoreError> failure;
    try {
      begin();
      for (const HistoryEntry& push : sealed.pushes) insertPush(push);
      for (const ActivityRecord& activity : sealed.activities) updateRow(activity);
      pruneNowAndThen(sealed.pushes);
      inTransaction = false;
      exec("COMMIT");
    } catch (const StoreError& error) {
      inTransaction = false;
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      failure = error;
    }
    {
      std::lock_guard guard(idleLock);
      committing = false;
    }
    idleChanged.notify_all();
    if (failure) throw *failure;
  }

  // A store that cannot be read whole or written would start and then answer every push 500:
  // better to refuse at once, saying why.
  void checkUsable(const std::string& file) {
    std::string verdict;
    sqlite3_exec(
        db, "PRAGMA quick_check",
        [](void* out, int, char** values, char**) {
          auto& text = *static_cast<std::string*>(out);
          if (text.empty() && values[0] != nullptr) text = values[0];
          return 0;
        },
        &verdict, nullptr);
    if (verdict != "ok") {
      throw StoreError("store: " + file + " is damaged (" +
                       (verdict.empty() ? std::string(sqlite3_errmsg(db)) : verdict) +
                       "): move it away to start with an empty history");
    }
    if (sqlite3_db_readonly(db, "main") == 1) {
      throw StoreError("store: " + file + " is read-only");
    }
    try {
      // A write that reaches the disk, and the migration of an older store in the same go.
      exec("BEGIN IMMEDIATE");
      inTransaction = true;
      migrate();
      inTransaction = false;
      exec("COMMIT");
    } catch (const StoreError& error) {
      inTransaction = false;
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw StoreError("store: cannot write " + file + " (" + error.what() +
                       "): is another serve using this state folder, or the disk full?");
    }
  }

  void migrate() {
    auto& version = prepared("PRAGMA user_version");
    const std::int64_t found = version.step() ? version.integer(0) : 0;
    version.reset();
    if (found < schemaVersion) {
      bool hasBodyBytes = false;
      auto& columns = prepared("PRAGMA table_info(pushes)");
      while (columns.step()) hasBodyBytes = hasBodyBytes || columns.text(1) == "body_bytes";
      columns.reset();
      if (!hasBodyBytes) {
        exec("ALTER TABLE pushes ADD COLUMN body_bytes INTEGER NOT NULL DEFAULT 0");
      }
      exec(migrationFrom0);
      for (const AddedColumn& column : addedIn3) {
        bool present = false;
        auto& columns = prepared(std::string("PRAGMA table_info(") + column.table + ")");
        while (columns.step()) present = present || columns.text(1) == column.name;
        columns.reset();
        if (present) continue;
        exec((std::string("ALTER TABLE ") + column.table + " ADD COLUMN " + column.name + " " +
              column.declaration)
                 .c_str());
        if (column.fill) exec(column.fill);
      }
    }
    exec(("PRAGMA user_version = " + std::to_string(schemaVersion)).c_str());
  }

  // Drops what the retention bound no longer keeps: the oldest pushes beyond the count, and among
  // the oldest few thousand, those older than the days. Runs inside a commit, now and then.
  void prune(std::int64_t nowMs) {
    std::int64_t dropped = 0;
    if (retention.pushes > 0) {
      auto& last = prepared("SELECT coalesce(max(seq), 0) FROM pushes");
      const std::int64_t newest = last.step() ? last.integer(0) : 0;
      last.reset();
      const std::int64_t cutoff = newest - retention.pushes;
      if (cutoff > 0) dropped += dropUpTo(cutoff);
    }
    if (retention.days > 0) {
      const std::int64_t before = nowMs - std::int64_t{retention.days} * 86400 * 1000;
      auto& oldest = prepared(
          "SELECT coalesce(max(seq), 0) FROM (SELECT seq, time FROM pushes ORDER BY seq LIMIT "
          "4096) WHERE time < ?");
      oldest.bind(before);
      const std::int64_t cutoff = oldest.step() ? oldest.integer(0) : 0;
      oldest.reset();
      if (cutoff > 0) dropped += dropUpTo(cutoff);
    }
    if (dropped > 0) {
      prepared(
          "INSERT INTO meta VALUES ('dropped', ?) "
          "ON CONFLICT(key) DO UPDATE SET value = value + excluded.value")
          .bind(dropped)
          .run();
    }
  }
  std::int64_t dropUpTo(std::int64_t seq) {
    prepared("DELETE FROM deliveries WHERE push_seq <= ?").bind(seq).run();
    prepared("DELETE FROM pushes WHERE seq <= ?").bind(seq).run();
    return sqlite3_changes(db);
  }

  ~Impl() {
    statements.clear();
    sqlite3_close(db);
  }

  void exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string text = message ? message : sqlite3_errmsg(db);
      sqlite3_free(message);
      throw StoreError("store: " + text);
    }
  }
  void waitIdle() {
    std::unique_lock guard(idleLock);
    idleChanged.wait(guard, [&] { return !committing; });
  }
  Statement& prepared(const std::string& sql) {
    auto& slot = statements[sql];
    if (!slot) slot = std::make_unique<Statement>(db, sql.c_str());
    return slot->reset();
  }
  void begin() {
    if (!inTransaction) {
      exec("BEGIN IMMEDIATE");
      inTransaction = true;
    }
  }
  // Every query and write goes through here, so it sees what is still held in memory.
  Statement& statement(const std::string& sql) {
    waitIdle();
    writeMemory();
    return prepared(sql);
  }
  void write() {
    waitIdle();
    begin();
  }

  // The statements a commit runs for each row, kept at hand: looking one up by its text costs a
  // copy of the text and a walk of the map.
  Statement* insertPushStatement = nullptr;
  Statement* insertDeliveryStatement = nullptr;
  Statement* updateRowStatement = nullptr;
  Statement& reused(Statement*& slot, const char* sql) {
    if (slot == nullptr) slot = &prepared(sql);
    return slot->reset();
  }

  void insertPush(const HistoryEntry& p) {
    reused(insertPushStatement,
           "INSERT INTO pushes(apns_id, time, path, token, headers, body, status, reason, "
           "verdict, error, warnings, activity_id, body_bytes, shown) VALUES (?, ?, ?, ?, ?, ?, ?, "
           "?, ?, ?, ?, ?, ?, ?)")
        .bind(p.apnsId)
        .bind(p.timeMs)
        .bind(p.path)
        .bind(p.token)
        .bind(p.headers)
        .bindBlob(p.body)
        .bind(std::int64_t{p.status})
        .bind(p.reason)
        .bind(verdictName(p.verdict))
        .bind(p.error)
        .bind(p.warnings)
        .bind(p.activityId)
        .bind(p.bodyBytes)
        .bind(std::int64_t{p.shown})
        .run();
    const std::int64_t seq = sqlite3_last_insert_rowid(db);
    for (std::size_t ordinal = 1; ordinal < p.deliveries.size(); ++ordinal) {
      const Delivery& d = p.deliveries[ordinal];
      reused(insertDeliveryStatement,
             "INSERT INTO deliveries(push_seq, ordinal, activity_id, verdict, error, warnings, "
             "shown) VALUES (?, ?, ?, ?, ?, ?, ?)")
          .bind(seq)
          .bind(static_cast<std::int64_t>(ordinal))
          .bind(d.activityId)
          .bind(verdictName(d.verdict))
          .bind(d.error)
          .bind(d.warnings)
          .bind(std::int64_t{d.shown})
          .run();
    }
    ++insertedSincePrune;
  }
  void pruneNowAndThen(const std::vector<HistoryEntry>& added) {
    if (insertedSincePrune < pruneEvery || added.empty()) return;
    insertedSincePrune = 0;
    prune(added.back().timeMs);
  }
  void updateRow(const ActivityRecord& a) {
    // An UPDATE of these columns leaves the indexes alone, which a REPLACE would rewrite.
    reused(updateRowStatement,
           "UPDATE activities SET state = ?, ended = ?, stale_date = ?, dismissal_date = ?, "
           "last_timestamp = ?, ended_at = ?, relevance_score = ?, timestamp_apns_id = ?, "
           "timestamp_at = ? WHERE id = ?")
        .bind(a.state)
        .bind(std::int64_t{a.ended})
        .bind(a.staleDate)
        .bind(a.dismissalDate)
        .bind(a.lastTimestamp)
        .bind(a.endedAtMs)
        .bind(a.relevanceScore)
        .bind(a.timestampApnsId)
        .bind(a.timestampAtMs)
        .bind(a.id)
        .run();
  }

  // Writes the pushes and activity changes held in memory into the open transaction.
  void writeMemory() {
    if (pending.empty() && dirtyCount == 0) return;
    begin();
    for (const HistoryEntry& push : pending) insertPush(push);
    pending.clear();
    for (auto& [token, entry] : hot) {
      if (!entry.dirty) continue;
      updateRow(entry.record);
      entry.dirty = false;
    }
    dirtyCount = 0;
  }

  // After a rollback the table is the truth again.
  void forgetHot() {
    hot.clear();
    dirtyCount = 0;
  }
};

PushStore::PushStore(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PushStore::~PushStore() {
  try {
    commit();
  } catch (const StoreError&) {
    // Nothing that was not committed was ever acknowledged.
  }
}

std::unique_ptr<PushStore> PushStore::open(const std::filesystem::path& folder,
                                           Retention retention) {
  auto impl = std::make_unique<Impl>();
  impl->retention = retention;
  const std::string file = folder.empty() ? ":memory:" : (folder / "serve.sqlite3").string();
  // The caller serialises access to a store, so SQLite's own locking per call is not needed.
  if (sqlite3_open_v2(file.c_str(), &impl->db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    throw StoreError("store: cannot open " + file + ": " +
                     (impl->db ? sqlite3_errmsg(impl->db) : "out of memory"));
  }
  sqlite3_busy_timeout(impl->db, 5000);
  // WAL with a full sync on commit: a commit that returned is on disk, so an acknowledged push
  // survives a crash of the process or the machine. Pages of 16 KB hold a batch's rows in fewer
  // WAL frames than 4 KB pages, each frame two writes, and a checkpoint copies fewer pages; only a
  // new store takes them, one made before keeps its pages.
  try {
    impl->exec(
        "PRAGMA page_size=16384; PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; "
        "PRAGMA cache_size=-4096;");
    impl->exec(schema);
  } catch (const StoreError& error) {
    throw StoreError(std::string(error.what()) + " (" + file +
                     "): move it away to start with an empty history");
  }
  if (!folder.empty()) impl->checkUsable(file);
  // A checkpoint every 4 MB of WAL, whatever the page size, as SQLite's default does with 4 KB.
  auto& pageSize = impl->prepared("PRAGMA page_size");
  const std::int64_t pageBytes = pageSize.step() ? pageSize.integer(0) : 4096;
  pageSize.reset();
  sqlite3_wal_autocheckpoint(impl->db, static_cast<int>((std::int64_t{4} << 20) / pageBytes));
  return std::unique_ptr<PushStore>(new PushStore(std::move(impl)));
}

std::unique_ptr<PushStore> PushStore::openReader(const std::filesystem::path& folder) {
  auto impl = std::make_unique<Impl>();
  const std::string file = (folder / "serve.sqlite3").string();
  if (sqlite3_open_v2(file.c_str(), &impl->db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    throw StoreError("store: cannot open " + file +
                     " for reading: " + (impl->db ? sqlite3_errmsg(impl->db) : "out of memory"));
  }
  sqlite3_busy_timeout(impl->db, 5000);
  impl->exec("PRAGMA query_only=1; PRAGMA cache_size=-4096;");
  return std::unique_ptr<PushStore>(new PushStore(std::move(impl)));
}

std::optional<DeviceRecord> PushStore::device(const std::string& token) {
  auto& s =
      impl_->statement(std::string("SELECT ") + deviceColumns + " FROM devices WHERE token = ?");
  s.bind(token);
  std::optional<DeviceRecord> found;
  if (s.step()) found = deviceFrom(s);
  s.reset();
  return found;
}

void PushStore::saveDevice(const DeviceRecord& d) {
  impl_->write();
  const auto limit = [](const std::optional<std::int64_t>& value) -> std::optional<double> {
    if (!value) return std::nullopt;
    return static_cast<double>(*value);
  };
  impl_
      ->statement(std::string("INSERT OR REPLACE INTO devices(") + deviceColumns +
                  ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")
      .bind(d.token)
      .bind(d.bundle)
      .bind(d.firstSeenMs)
      .bind(d.environment == Environment::production ? "production" : "development")
      .bind(d.systemVersion)
      .bind(std::int64_t{d.frequentUpdates})
      .bind(std::int64_t{d.online})
      .bind(limit(d.priority10Limit))
      .bind(limit(d.pushToStartLimit))
      .run();
}

std::vector<DeviceRecord> PushStore::devices(std::size_t limit) {
  auto& s = impl_->statement(std::string("SELECT ") + deviceColumns +
                             " FROM devices ORDER BY first_seen DESC, rowid DESC LIMIT ?");
  s.bind(static_cast<std::int64_t>(limit));
  std::vector<DeviceRecord> found;
  while (s.step()) found.push_back(deviceFrom(s));
  s.reset();
  return found;
}

std::vector<ActivityRecord> PushStore::activitiesOfDevice(const std::string& deviceToken) {
  auto& s = impl_->statement(std::string("SELECT ") + activityColumns +
                             " FROM activities WHERE device_token = ? ORDER BY created_at, rowid "
                             "LIMIT 1000");
  s.bind(deviceToken);
  std::vector<ActivityRecord> found;
  while (s.step()) found.push_back(activityFrom(s));
  s.reset();
  return found;
}

void PushStore::replaceUpdateToken(const std::string& id, const std::string& token) {
  impl_->write();
  impl_->writeMemory();
  std::erase_if(impl_->hot, [&](const auto& entry) { return entry.second.record.id == id; });
  impl_->statement("UPDATE activities SET update_token = ? WHERE id = ?")
      .bind(token)
      .bind(id)
      .run();
}

std::optional<ActivityRecord> PushStore::activityByUpdateToken(const std::string& token) {
  if (token.empty()) return std::nullopt;
  if (const auto cached = impl_->hot.find(token); cached != impl_->hot.end()) {
    return cached->second.record;
  }
  auto& s = impl_->statement(std::string("SELECT ") + activityColumns +
                             " FROM activities WHERE update_token = ?");
  s.bind(token);
  std::optional<ActivityRecord> found;
  if (s.step()) found = activityFrom(s);
  s.reset();
  if (found) impl_->hot.emplace(token, Impl::CachedActivity{*found, false});
  return found;
}

std::optional<ActivityRecord> PushStore::activity(const std::string& id) {
  // An activity taking pushes is in memory: no wait for a batch that is being committed.
  for (const auto& [token, entry] : impl_->hot) {
    if (entry.record.id == id) return entry.record;
  }
  auto& s =
      impl_->statement(std::string("SELECT ") + activityColumns + " FROM activities WHERE id = ?");
  s.bind(id);
  std::optional<ActivityRecord> found;
  if (s.step()) found = activityFrom(s);
  s.reset();
  return found;
}

std::vector<ActivityRecord> PushStore::activitiesOnChannel(const std::string& channel) {
  auto& s = impl_->statement(std::string("SELECT ") + activityColumns +
                             " FROM activities WHERE channel = ? AND ended = 0 LIMIT 1000");
  s.bind(channel);
  std::vector<ActivityRecord> found;
  while (s.step()) found.push_back(activityFrom(s));
  s.reset();
  return found;
}

std::vector<ActivityRecord> PushStore::activities(std::size_t limit) {
  auto& s = impl_->statement(std::string("SELECT ") + activityColumns +
                             " FROM activities ORDER BY created_at DESC, rowid DESC LIMIT ?");
  s.bind(static_cast<std::int64_t>(limit));
  std::vector<ActivityRecord> found;
  while (s.step()) found.push_back(activityFrom(s));
  s.reset();
  return found;
}

void PushStore::saveActivity(const ActivityRecord& a) {
  impl_->write();
  impl_
      ->statement(std::string("INSERT OR REPLACE INTO activities(") + activityColumns +
                  ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
      .bind(a.id)
      .bind(a.type)
      .bind(a.deviceToken)
      .bind(a.updateToken)
      .bind(a.bundle)
      .bind(a.channel)
      .bind(a.attributes)
      .bind(a.state)
      .bind(std::int64_t{a.ended})
      .bind(a.staleDate)
      .bind(a.dismissalDate)
      .bind(a.lastTimestamp)
      .bind(a.endedAtMs)
      .bind(a.createdAtMs)
      .bind(a.relevanceScore)
      .bind(a.timestampApnsId)
      .bind(a.timestampAtMs)
      .run();
  if (const auto cached = impl_->hot.find(a.updateToken); cached != impl_->hot.end()) {
    if (cached->second.dirty) --impl_->dirtyCount;
    cached->second = Impl::CachedActivity{a, false};
  }
}

void PushStore::updateActivity(const ActivityRecord& a) {
  if (const auto cached = impl_->hot.find(a.updateToken);
      cached != impl_->hot.end() && cached->second.record.id == a.id) {
    ActivityRecord& kept = cached->second.record;
    kept.state = a.state;
    kept.ended = a.ended;
    kept.staleDate = a.staleDate;
    kept.dismissalDate = a.dismissalDate;
    kept.lastTimestamp = a.lastTimestamp;
    kept.endedAtMs = a.endedAtMs;
    kept.relevanceScore = a.relevanceScore;
    kept.timestampApnsId = a.timestampApnsId;
    kept.timestampAtMs = a.timestampAtMs;
    if (!cached->second.dirty) {
      cached->second.dirty = true;
      ++impl_->dirtyCount;
    }
    return;
  }
  impl_->write();
  impl_->writeMemory();
  impl_->updateRow(a);
}

bool PushStore::addChannel(const ChannelRecord& channel) {
  impl_->write();
  impl_->statement("INSERT OR IGNORE INTO channels VALUES (?, ?, ?)")
      .bind(channel.id)
      .bind(channel.bundle)
      .bind(std::int64_t{channel.storagePolicy})
      .run();
  return sqlite3_changes(impl_->db) == 1;
}

std::optional<ChannelRecord> PushStore::channel(const std::string& id) {
  auto& s = impl_->statement("SELECT id, bundle, storage_policy FROM channels WHERE id = ?");
  s.bind(id);
  std::optional<ChannelRecord> found;
  if (s.step()) found = ChannelRecord{s.text(0), s.text(1), static_cast<int>(s.integer(2))};
  s.reset();
  return found;
}

bool PushStore::removeChannel(const std::string& id) {
  impl_->write();
  impl_->statement("DELETE FROM channels WHERE id = ?").bind(id).run();
  return sqlite3_changes(impl_->db) == 1;
}

std::vector<ChannelRecord> PushStore::channels(const std::string& bundle, std::size_t limit) {
  auto& s = impl_->statement(
      "SELECT id, bundle, storage_policy FROM channels WHERE bundle = ? ORDER BY rowid LIMIT ?");
  s.bind(bundle).bind(static_cast<std::int64_t>(limit));
  std::vector<ChannelRecord> found;
  while (s.step()) found.push_back({s.text(0), s.text(1), static_cast<int>(s.integer(2))});
  s.reset();
  return found;
}

std::size_t PushStore::channelCount() {
  auto& s = impl_->statement("SELECT count(*) FROM channels");
  s.step();
  const auto count = static_cast<std::size_t>(s.integer(0));
  s.reset();
  return count;
}

void PushStore::addPush(const HistoryEntry& push) {
  impl_->pending.push_back(push);
}

void PushStore::addPush(HistoryEntry&& push) {
  impl_->pending.push_back(std::move(push));
}

std::string_view verdictName(Verdict verdict) {
  return verdictNames[static_cast<std::size_t>(verdict)];
}

Verdict verdictNamed(std::string_view name) {
  for (std::size_t i = 0; i < verdictNames.size(); ++i) {
    if (verdictNames[i] == name) return static_cast<Verdict>(i);
  }
  return Verdict::rejected;
}

namespace {

constexpr const char* pushColumns =
    "p.apns_id, p.time, p.path, p.token, p.headers, p.body, p.status, p.reason, p.verdict, "
    "p.error, p.warnings, p.activity_id, p.body_bytes, p.seq, p.shown";

HistoryEntry pushFrom(const Statement& s) {
  HistoryEntry p;
  p.apnsId = s.text(0);
  p.timeMs = s.integer(1);
  p.path = s.text(2);
  p.token = s.text(3);
  p.headers = s.text(4);
  p.body = s.text(5);
  p.status = static_cast<int>(s.integer(6));
  p.reason = s.text(7);
  p.verdict = verdictNamed(s.text(8));
  p.error = s.text(9);
  p.warnings = s.text(10);
  p.activityId = s.text(11);
  p.bodyBytes = s.integer(12);
  p.seq = s.integer(13);
  p.shown = s.integer(14) != 0;
  return p;
}

}  // namespace

// Each push's deliveries: the first from its own row, the others in one query for all of them.
void PushStore::attachDeliveries(std::vector<HistoryEntry>& pushes) {
  if (pushes.empty()) return;
  std::string seqs = "[";
  std::unordered_map<std::int64_t, HistoryEntry*> bySeq;
  for (HistoryEntry& push : pushes) {
    if (!push.activityId.empty()) {
      push.deliveries.push_back(
          {push.activityId, push.verdict, push.error, push.warnings, push.shown});
    }
    if (seqs.size() > 1) seqs += ',';
    seqs += std::to_string(push.seq);
    bySeq.emplace(push.seq, &push);
  }
  seqs += ']';
  auto& s = impl_->statement(
      "SELECT push_seq, activity_id, verdict, error, warnings, shown FROM deliveries WHERE "
      "push_seq IN "
      "(SELECT value FROM json_each(?)) ORDER BY push_seq, ordinal");
  s.bind(seqs);
  while (s.step()) {
    const auto found = bySeq.find(s.integer(0));
    if (found == bySeq.end()) continue;
    found->second->deliveries.push_back(
        {s.text(1), verdictNamed(s.text(2)), s.text(3), s.text(4), s.integer(5) != 0});
  }
  s.reset();
}

std::vector<HistoryEntry> PushStore::pushes(std::size_t limit) {
  auto& s = impl_->statement(std::string("SELECT ") + pushColumns +
                             " FROM pushes p ORDER BY p.seq DESC LIMIT ?");
  s.bind(static_cast<std::int64_t>(limit));
  std::vector<HistoryEntry> found;
  while (s.step()) found.push_back(pushFrom(s));
  s.reset();
  attachDeliveries(found);
  return found;
}

std::optional<HistoryEntry> PushStore::push(const std::string& apnsId) {
  auto& s = impl_->statement(std::string("SELECT ") + pushColumns +
                             " FROM pushes p WHERE p.apns_id = ? COLLATE NOCASE "
                             "ORDER BY p.seq DESC LIMIT 1");
  s.bind(apnsId);
  std::vector<HistoryEntry> found;
  if (s.step()) found.push_back(pushFrom(s));
  s.reset();
  if (found.empty()) return std::nullopt;
  attachDeliveries(found);
  return std::move(found.front());
}

std::vector<HistoryEntry> PushStore::activityPushes(const std::string& activityId,
                                                    std::size_t limit) {
  return pushesReaching(activityId, false, limit);
}

std::vector<HistoryEntry> PushStore::appliedPushes(const std::string& activityId,
                                                   std::size_t limit) {
  return pushesReaching(activityId, true, limit);
}

std::vector<HistoryEntry> PushStore::pushesReaching(const std::string& activityId, bool shownOnly,
                                                    std::size_t limit) {
  auto& s = impl_->statement(
      std::string("SELECT ") + pushColumns +
      ", p.verdict, p.error, p.warnings, p.shown FROM pushes p WHERE p.activity_id = ?1" +
      (shownOnly ? " AND p.shown = 1" : "") + " UNION ALL SELECT " + pushColumns +
      ", d.verdict, d.error, d.warnings, d.shown FROM deliveries d JOIN pushes p ON p.seq = "
      "d.push_seq WHERE d.activity_id = ?1" +
      (shownOnly ? " AND d.shown = 1" : "") + " ORDER BY 14 LIMIT ?2");
  s.bind(activityId).bind(static_cast<std::int64_t>(limit));
  std::vector<HistoryEntry> found;
  std::vector<Delivery> own;
  while (s.step()) {
    found.push_back(pushFrom(s));
    own.push_back(
        {activityId, verdictNamed(s.text(15)), s.text(16), s.text(17), s.integer(18) != 0});
  }
  s.reset();
  attachDeliveries(found);
  for (std::size_t i = 0; i < found.size(); ++i) {
    found[i].verdict = own[i].verdict;
    found[i].error = std::move(own[i].error);
    found[i].warnings = std::move(own[i].warnings);
    found[i].shown = own[i].shown;
    found[i].activityId = activityId;
  }
  return found;
}

ActivityTally PushStore::tally(const std::string& activityId) {
  auto& s = impl_->statement(
      "SELECT verdict, count(*), max(seq) FROM (SELECT verdict, seq FROM pushes WHERE "
      "activity_id = ?1 UNION ALL SELECT verdict, push_seq AS seq FROM deliveries WHERE "
      "activity_id = ?1) GROUP BY verdict");
  s.bind(activityId);
  ActivityTally tally;
  std::int64_t lastSeq = 0;
  while (s.step()) {
    const Verdict verdict = verdictNamed(s.text(0));
    tally.counts.emplace_back(verdict, s.integer(1));
    tally.pushes += s.integer(1);
    if (s.integer(2) > lastSeq) {
      lastSeq = s.integer(2);
      tally.lastVerdict = verdict;
    }
  }
  s.reset();
  if (lastSeq == 0) return tally;
  auto& last = impl_->statement("SELECT apns_id, time FROM pushes WHERE seq = ?");
  last.bind(lastSeq);
  if (last.step()) {
    tally.lastApnsId = last.text(0);
    tally.lastTimeMs = last.integer(1);
  }
  last.reset();
  return tally;
}

std::int64_t PushStore::droppedPushes() {
  auto& s = impl_->statement("SELECT coalesce(max(value), 0) FROM meta WHERE key = 'dropped'");
  const std::int64_t dropped = s.step() ? s.integer(0) : 0;
  s.reset();
  return dropped;
}

std::size_t PushStore::pushCount() {
  auto& s = impl_->statement("SELECT count(*) FROM pushes");
  s.step();
  const auto count = static_cast<std::size_t>(s.integer(0));
  s.reset();
  return count;
}

void PushStore::commit() {
  Sealed sealed = seal();
  try {
    impl_->commitSealed(sealed);
  } catch (const StoreError&) {
    discard();
    throw;
  }
}

void PushStore::discard() {
  impl_->waitIdle();
  if (impl_->inTransaction) {
    impl_->inTransaction = false;
    sqlite3_exec(impl_->db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  impl_->pending.clear();
  impl_->forgetHot();
}

PushStore::Sealed PushStore::seal() {
  impl_->waitIdle();
  Sealed sealed;
  if (!impl_->inTransaction && impl_->pending.empty() && impl_->dirtyCount == 0) return sealed;
  sealed.open = true;
  sealed.pushes.swap(impl_->pending);
  for (auto& [token, entry] : impl_->hot) {
    if (!entry.dirty) continue;
    sealed.activities.push_back(entry.record);
    entry.dirty = false;
  }
  impl_->dirtyCount = 0;
  if (impl_->hot.size() > Impl::hotLimit) impl_->hot.clear();
  std::lock_guard guard(impl_->idleLock);
  impl_->committing = true;
  return sealed;
}

void PushStore::commitSealed(Sealed& sealed) {
  impl_->commitSealed(sealed);
}

}  // namespace host::serve
