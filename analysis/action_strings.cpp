#include "analysis/action_strings.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace velpin {

namespace {

constexpr std::uint8_t kActionEnd = 0x00;
// Codes from here on carry a 16-bit length and that many bytes.
constexpr std::uint8_t kFirstActionWithLength = 0x80;
constexpr std::uint8_t kActionGetUrl = 0x83;
constexpr std::uint8_t kActionConstantPool = 0x88;
constexpr std::uint8_t kActionPush = 0x96;

// Push value types and the bytes each takes after its type byte.
constexpr std::uint8_t kPushString = 0;
constexpr int kPushTypeUnknown = -1;
int PushValueBytes(std::uint8_t type) {
    switch (type) {
        case 1:  // float
        case 7:  // 32-bit integer
            return 4;
        case 2:  // null
        case 3:  // undefined
            return 0;
        case 4:  // register number
        case 5:  // boolean
        case 8:  // constant pool index
            return 1;
        case 6:  // double
            return 8;
        case 9:  // 16-bit constant pool index
            return 2;
        default:
            return kPushTypeUnknown;
    }
}

void CollectPushStrings(TagReader& record, ReferenceCollector& references) {
    while (!record.AtEnd()) {
        const std::uint8_t type = record.U8();
        if (type == kPushString) {
            const std::string_view text = record.CString();
            if (record.Failed()) {
                return;
            }
            references.Add(text);
            continue;
        }
        const int bytes = PushValueBytes(type);
        if (bytes == kPushTypeUnknown) {
            // Nothing says how long a value of a type we do not know is, so the rest of the
            // record cannot be read; the record's length still leads to the next one.
            return;
        }
        record.Skip(static_cast<std::size_t>(bytes));
    }
}

void CollectRecordStrings(std::uint8_t code, TagReader& record, ReferenceCollector& references) {
    switch (code) {
        case kActionConstantPool: {
            const std::uint16_t count = record.U16();
            for (std::uint32_t i = 0; i < count && !record.Failed(); ++i) {
                const std::string_view text = record.CString();
                if (!record.Failed()) {
                    references.Add(text);
                }
            }
            break;
        }
        case kActionPush:
            CollectPushStrings(record, references);
            break;
        case kActionGetUrl:
            for (int i = 0; i < 2 && !record.Failed(); ++i) {
                const std::string_view text = record.CString();
                if (!record.Failed()) {
                    references.Add(text);
                }
            }
            break;
        default:
            break;
    }
}

}  // namespace

bool CollectActionStrings(TagReader& actions, ReferenceCollector& references) {
    for (;;) {
        const std::uint8_t code = actions.U8();
        if (actions.Failed()) {
            return false;
        }
        if (code == kActionEnd) {
            return true;
        }
        if (code < kFirstActionWithLength) {
            continue;
        }
        TagReader record = actions.Narrow(actions.U16());
        CollectRecordStrings(code, record, references);
        if (record.Failed()) {
            return false;
        }
    }
}

namespace {

// Strings of the pool kept while its namespaces are still to be read: only the references, with
// their index in the pool, so that a pool of a million names costs nothing while it is read.
struct PooledReference {
    std::uint32_t index;
    std::string_view text;
    ReferenceKind kind;
    bool namedByNamespace;
};

// Reads past a pool of `count - 1` entries of `entryBytes` each, or of variable-length integers
// when `entryBytes` is 0.
void SkipPool(TagReader& abc, std::size_t entryBytes) {
    const std::uint32_t count = abc.VarU32();
    for (std::uint32_t i = 1; i < count && !abc.Failed(); ++i) {
        if (entryBytes == 0) {
            abc.VarU32();
        } else {
            abc.Skip(entryBytes);
        }
    }
}

}  // namespace

bool CollectAbcStrings(TagReader& abc, ReferenceCollector& references) {
    abc.U16();         // minor version
    abc.U16();         // major version
    SkipPool(abc, 0);  // signed integers
    SkipPool(abc, 0);  // unsigned integers
    SkipPool(abc, 8);  // doubles
    std::vector<PooledReference> pooled;
    const std::uint32_t strings = abc.VarU32();
    // Entry 0 of every pool is implicit: the pool's count is one more than its entries.
    for (std::uint32_t index = 1; index < strings && !abc.Failed(); ++index) {
        const std::string_view text = abc.Bytes(abc.VarU32());
        if (abc.Failed()) {
            break;
        }
        const ReferenceKind kind = ClassifyReference(text);
        if (kind != ReferenceKind::None) {
            pooled.push_back({index, text, kind, false});
        }
    }
    const std::uint32_t namespaces = abc.VarU32();
    for (std::uint32_t i = 1; i < namespaces && !abc.Failed(); ++i) {
        abc.U8();  // kind
        const std::uint32_t name = abc.VarU32();
        if (abc.Failed()) {
            break;
        }
        // `pooled` is in index order as it was read.
        const auto found =
            std::lower_bound(pooled.begin(), pooled.end(), name,
                             [](const PooledReference& p, std::uint32_t i) { return p.index < i; });
        if (found != pooled.end() && found->index == name) {
            found->namedByNamespace = true;
        }
    }
    for (const PooledReference& p : pooled) {
        if (!p.namedByNamespace) {
            references.Add(p.text, p.kind);
        }
    }
    return !abc.Failed();
}

}  // namespace velpin
