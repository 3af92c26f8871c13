#pragma once

#include "platform/ado/Backend.h"
#include "platform/ado/TextHash.h"

#include <QByteArray>

#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace ado {

// PostgreSQL through libpq. Statements are prepared once per connection (PQprepare) and run with
// PQexecPrepared; procedures are functions with OUT parameters (see Command.h).
class PgBackend : public Backend {
public:
    PgBackend() = default;
    ~PgBackend() override;

    void open(const ConnectionString& cs, int connectionTimeout, int commandTimeout) override;
    void close() noexcept override;
    bool isOpen() const override { return conn_ != nullptr; }
    void setCommandTimeout(int seconds) override;

    ResultSet execute(const QString& sql, const std::vector<BindValue>& params) override;
    void callProcedure(const QString& name, QList<Parameter>& params) override;

    void begin() override;
    void commit() override;
    void rollback() override;

    QStringList primaryKey(const QString& table) override;
    ReturningStyle returningStyle() const override { return ReturningStyle::Returning; }
    QString dbmsName() const override { return QStringLiteral("PostgreSQL"); }

private:
    // The parameters of one statement. The values share one buffer, so a Bound kept and cleared
    // between calls binds without allocating.
    struct Bound {
        std::vector<unsigned> types;
        std::string arena;
        std::vector<size_t> offsets;
        std::vector<bool> nulls;
        std::vector<const char*> pointers;
        std::vector<int> lengths;
        std::vector<int> formats;
        void clear();
        void reserve(size_t n);
        void add(unsigned type, const char* data, size_t size, bool isNull, int format = 0);
        void add(unsigned type, const QByteArray& value, bool isNull, int format = 0) {
            add(type, value.constData(), size_t(value.size()), isNull, format);
        }
        size_t size() const { return types.size(); }
        void finish();
    };

    [[noreturn]] void failConnection(const QString& context);
    [[noreturn]] void failResult(pg_result* res);
    void checkCommand(pg_result* res);
    pg_result* run(const QString& key, const QByteArray& sql, Bound& bound);
    void runSimple(const char* sql);
    ResultSet readResult(pg_result* res) const;

    pg_conn* conn_ = nullptr;
    TextMap<QByteArray> prepared_; // cache key → statement name
    int nextStatement_ = 0;
    Bound callBound_; // reused by every procedure call
    QString callKey_;
};

} // namespace ado
