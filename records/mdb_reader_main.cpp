// Reads an Access (Jet) file through libmdb and writes its tables to stdout in the stream format
// of access_file.h. libmdb may crash, abort or loop on damaged files, so this runs as its own
// process under limits set by the program; it exits 0 only when every table was read.
//
// usage: viro-mdb-reader [--bind-size BYTES] FILE
// exit: 0 read, 1 usage or open failure, 3 a memo longer than the bind size (retry larger),
//       4 write failure

#include <glib.h>

#include <mdbtools.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kExitOpen = 1;
constexpr int kExitMemoTooLong = 3;
constexpr int kExitWrite = 4;

void put(const std::string& s) {
    if (std::fwrite(s.data(), 1, s.size(), stdout) != s.size())
        std::exit(kExitWrite);
}

void putBlock(char tag, const char* data, size_t size) {
    put(std::string(1, tag) + ' ' + std::to_string(size) + '\n');
    if (size > 0 && std::fwrite(data, 1, size, stdout) != size)
        std::exit(kExitWrite);
    put("\n");
}

int64_t getInt64(const unsigned char* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return int64_t(v);
}

// One value of the current row. Numbers and dates come raw from the page so neither the locale
// nor libmdb's text formats touch them.
std::string valueOf(MdbHandle* mdb, MdbColumn* col, const char* bound, int boundLen,
                    size_t bindSize, bool* memoCut) {
    std::string out;
    auto block = [&](char tag, const char* data, size_t size) {
        out = std::string(1, tag) + ' ' + std::to_string(size) + '\n';
        out.append(data, size);
        out += '\n';
    };
    auto integer = [&](long long v) { out = "I " + std::to_string(v) + '\n'; };
    auto real = [&](double v) {
        uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "F %016" PRIx64 "\n", bits);
        out = buffer;
    };
    if (col->col_type == MDB_BOOL) {
        integer(col->cur_value_len == 0 ? 1 : 0);
        return out;
    }
    if (boundLen <= 0 || col->cur_value_len <= 0)
        return "N\n";
    unsigned char* page = static_cast<unsigned char*>(mdb->pg_buf);
    const int start = col->cur_value_start;
    const int len = col->cur_value_len;
    if (start < 0 || start + len > int(mdb->fmt->pg_size))
        return "N\n";
    switch (col->col_type) {
    case MDB_BYTE:
        integer(mdb_get_byte(page, start));
        break;
    case MDB_INT:
        integer(int16_t(mdb_get_int16(page, start)));
        break;
    case MDB_LONGINT:
    case MDB_COMPLEX:
        integer(int32_t(mdb_get_int32(page, start)));
        break;
    case MDB_MONEY:
        real(double(getInt64(page + start)) / 10000.0);
        break;
    case MDB_FLOAT:
        real(mdb_get_single(page, start));
        break;
    case MDB_DOUBLE:
    case MDB_DATETIME:
        real(mdb_get_double(page, start));
        break;
    case MDB_BINARY:
        block('B', reinterpret_cast<const char*>(page + start), size_t(len));
        break;
    case MDB_TEXT:
    case MDB_MEMO:
        if (col->col_type == MDB_MEMO && size_t(boundLen) + 1 >= bindSize)
            *memoCut = true;
        block('S', bound, size_t(boundLen));
        break;
    case MDB_REPID: {
        char* text = mdb_uuid_to_string(page, start);
        block('S', text, std::strlen(text));
        g_free(text);
        break;
    }
    default:
        block('S', bound, size_t(boundLen));
        break;
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    size_t bindSize = 65536;
    const char* file = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bind-size") == 0 && i + 1 < argc) {
            bindSize = std::strtoul(argv[++i], nullptr, 10);
        } else if (!file) {
            file = argv[i];
        } else {
            std::fprintf(stderr, "usage: viro-mdb-reader [--bind-size BYTES] FILE\n");
            return kExitOpen;
        }
    }
    // A bind size below the page size overflows libmdb's catalog reader.
    if (!file || bindSize < 4096 || bindSize > (size_t(64) << 20)) {
        std::fprintf(stderr, "usage: viro-mdb-reader [--bind-size BYTES] FILE\n");
        return kExitOpen;
    }
    MdbHandle* mdb = mdb_open(file, MDB_NOFLAGS);
    if (!mdb) {
        std::fprintf(stderr, "cannot open %s\n", file);
        return kExitOpen;
    }
    mdb_set_bind_size(mdb, bindSize);
    GPtrArray* catalog = mdb_read_catalog(mdb, MDB_TABLE);
    if (!catalog) {
        std::fprintf(stderr, "cannot read the catalog of %s\n", file);
        mdb_close(mdb);
        return kExitOpen;
    }
    // Names are copied now: reading a table rebuilds the catalog and frees its entries.
    std::vector<std::string> names;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
            names.emplace_back(entry->object_name);
    }
    put("VIRO-MDB 1\n");
    std::vector<std::vector<char>> buffers;
    std::vector<int> lengths;
    bool memoCut = false;
    for (const std::string& name : names) {
        std::vector<char> tableName(name.begin(), name.end());
        tableName.push_back('\0');
        MdbTableDef* table = mdb_read_table_by_name(mdb, tableName.data(), MDB_TABLE);
        if (!table) {
            std::fprintf(stderr, "cannot read table %s\n", name.c_str());
            mdb_close(mdb);
            return kExitOpen;
        }
        mdb_read_columns(table);
        mdb_rewind_table(table);
        const unsigned cols = table->num_cols;
        putBlock('T', name.data(), name.size());
        buffers.assign(cols, std::vector<char>(bindSize, 0));
        lengths.assign(cols, 0);
        for (unsigned c = 0; c < cols; ++c) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
            put("C " + std::to_string(col->col_type) + ' ' + std::to_string(col->col_size) + ' ');
            putBlock('N', col->name, std::strlen(col->name));
            // Every column gets a buffer; a Yes/No column without one crashes libmdb.
            mdb_bind_column(table, int(c) + 1, buffers[c].data(), &lengths[c]);
        }
        std::vector<std::string> values(cols);
        while (mdb_fetch_row(table)) {
            for (unsigned c = 0; c < cols; ++c) {
                auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
                if (col->col_type == MDB_OLE)
                    continue;
                values[c] = valueOf(mdb, col, buffers[c].data(), lengths[c], bindSize, &memoCut);
            }
            // OLE values last: reading them moves libmdb's page buffer.
            for (unsigned c = 0; c < cols; ++c) {
                auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
                if (col->col_type != MDB_OLE)
                    continue;
                if (lengths[c] <= 0) {
                    values[c] = "N\n";
                    continue;
                }
                size_t size = 0;
                void* data = mdb_ole_read_full(mdb, col, &size);
                if (!data) {
                    values[c] = "N\n";
                    continue;
                }
                values[c] = "B " + std::to_string(size) + '\n';
                values[c].append(static_cast<const char*>(data), size);
                values[c] += '\n';
                std::free(data);
            }
            if (memoCut) {
                std::fprintf(stderr, "a memo is longer than the bind size %zu\n", bindSize);
                mdb_close(mdb);
                return kExitMemoTooLong;
            }
            put("R\n");
            for (const std::string& v : values)
                put(v);
        }
        put("E\n");
        mdb_free_tabledef(table);
    }
    put("Z " + std::to_string(names.size()) + '\n');
    mdb_close(mdb);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return kExitWrite;
    return 0;
}
