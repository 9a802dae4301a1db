// Fuzz target: sequences of registry calls under HKEY_CURRENT_USER of a real store file, checked
// call by call against a model of what the store should hold (keys case-insensitive and
// case-preserving, values replaced in place, deleted keys answering ERROR_KEY_DELETED through
// open handles, scripted failures changing nothing). At the end of each input the whole tree is
// read back and compared, and no handle stays open.
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <standin/registry.h>
#include <windows.h>

#include "fuzz_check.h"
#include "scratch.h"
#include "support/text.h"

const size_t kMaxComponent = 256; // longest key name component the stand-in accepts
const size_t kMaxValueName = 16383;
const int kSlots = 6; // slot 0 is HKEY_CURRENT_USER itself

// Names compare without regard to ASCII case; the pieces below hold no other letters.
static std::string folded(const std::string &name) { return support::lower_ascii(name); }

namespace {

struct Value {
    std::string name;
    DWORD type;
    std::string data;
};

struct Node {
    Node(std::string name_, int parent_) : name(std::move(name_)), parent(parent_) {}
    std::string name;
    int parent;
    bool alive = true;
    std::map<std::string, int> children; // by folded name
    std::map<std::string, Value> values; // by folded name
};

struct Slot {
    HKEY handle = nullptr; // null: closed or never opened
    int node = 0;
    REGSAM access = 0;
};

struct Model {
    std::vector<Node> nodes;
    Slot slots[kSlots];
    std::map<std::string, LONG> failures; // scripted, by function

    Model()
    {
        nodes.push_back(Node{"HKEY_CURRENT_USER", -1});
        slots[0] = Slot{HKEY_CURRENT_USER, 0, KEY_ALL_ACCESS};
    }

    int depth(int node) const { return node <= 0 ? 0 : 1 + depth(nodes[node].parent); }
    int child(int node, const std::string &name) const
    {
        auto found = nodes[node].children.find(folded(name));
        return found == nodes[node].children.end() ? -1 : found->second;
    }
    void kill(int node)
    {
        for (auto &entry : nodes[node].children) kill(entry.second);
        nodes[node].children.clear();
        nodes[node].values.clear();
        nodes[node].alive = false;
    }
    void remove(int node)
    {
        nodes[nodes[node].parent].children.erase(folded(nodes[node].name));
        kill(node);
    }
    // Consumes the scripted failure of a function, if any.
    bool scripted(const char *function, LONG *status)
    {
        auto found = failures.find(function);
        if (found == failures.end()) return false;
        *status = found->second;
        failures.erase(found);
        return true;
    }
};

} // namespace

// The components of a path as the registry splits it: "a\\b\" -> {a, b}.
static std::vector<std::string> components(const std::string &path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

const char *const kNamePieces[] = {"a", "A", "b", "B", "Key", "KEY", "key", " ", ".", "%s", "~", "x", "7"};

// A name from pieces; 0xF0-0xFF repeats the last piece, to reach the length limits.
static std::string fuzz_name(Bytes &in, bool separators)
{
    std::string name;
    std::string last = "x";
    size_t pieces = in.below(6);
    for (size_t i = 0; i < pieces; ++i) {
        uint8_t t = in.byte();
        if (t >= 0xF0) {
            size_t times = (size_t)(t - 0xEF) * in.byte() * 8;
            for (size_t k = 0; k < times && name.size() < kMaxValueName + 8; ++k) name += last;
        } else if (separators && t >= 0xC0) {
            name += '\\';
        } else {
            last = kNamePieces[t % (sizeof kNamePieces / sizeof kNamePieces[0])];
            name += last;
        }
    }
    return name;
}

namespace {

const REGSAM kAccess[] = {KEY_ALL_ACCESS, KEY_READ, KEY_WRITE, KEY_QUERY_VALUE | KEY_SET_VALUE};
const char *const kFunctions[] = {"RegCreateKeyExA", "RegOpenKeyExA", "RegSetValueExA", "RegQueryValueExA",
                                  "RegDeleteValueA", "RegDeleteKeyA", "RegDeleteTreeA", "RegCloseKey"};
const LONG kScriptedStatus[] = {ERROR_REGISTRY_IO_FAILED, ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY};

#define EXPECT_STATUS(got, want, call)                                                                       \
    FUZZ_REQUIRE((got) == (want), "%s: status %ld, the model says %ld", call, (long)(got), (long)(want))

class Run {
public:
    explicit Run(Bytes &in) : in_(in) {}

    void step()
    {
        switch (in_.below(10)) {
        case 0:
            create();
            break;
        case 1:
            open();
            break;
        case 2:
        case 3:
            set_value();
            break;
        case 4:
            query_value();
            break;
        case 5:
            delete_value();
            break;
        case 6:
            delete_key();
            break;
        case 7:
            delete_tree();
            break;
        case 8:
            close();
            break;
        default:
            script_failure();
            break;
        }
    }

    // Every key and value of the tree read back equals the model; then every handle is closed.
    void finish()
    {
        StandinRegFailNext(nullptr, 0);
        compare(HKEY_CURRENT_USER, 0, "HKCU");
        model_.failures.clear();
        for (int i = 1; i < kSlots; ++i)
            if (model_.slots[i].handle && !is_root(model_.slots[i])) close_handle(model_.slots[i].handle);
        FUZZ_REQUIRE(StandinRegOpenHandles() == 0, "%ld handles left open", StandinRegOpenHandles());
    }

private:
    Slot &slot() { return model_.slots[in_.below(kSlots)]; }
    bool is_root(const Slot &s) const { return s.handle == HKEY_CURRENT_USER; }

    // Closes a handle the model is done with (a scripted close failure is met first).
    void close_handle(HKEY handle)
    {
        LONG want;
        if (model_.scripted("RegCloseKey", &want)) EXPECT_STATUS(RegCloseKey(handle), want, "RegCloseKey");
        EXPECT_STATUS(RegCloseKey(handle), ERROR_SUCCESS, "RegCloseKey");
    }

    // Stores a new handle in a slot, closing the one it held.
    void keep(Slot &s, const Slot &opened)
    {
        if (s.handle && !is_root(s)) close_handle(s.handle);
        s = opened;
    }

    // The status a call on a slot gets before it touches the store, or ERROR_SUCCESS.
    LONG usable(const Slot &s, REGSAM needs) const
    {
        if (!s.handle) return ERROR_INVALID_HANDLE;
        if ((s.access & needs) != needs) return ERROR_ACCESS_DENIED;
        return ERROR_SUCCESS;
    }

    // What a create or an open is asked, drawn in this order: the parent's slot (copied, as the new
    // handle may go to the same slot), the path, the access, and the slot the new handle goes to.
    struct KeyRequest {
        Slot parent;
        std::string path;
        REGSAM access;
        Slot &result;
    };

    KeyRequest key_request()
    {
        Slot parent = slot();
        std::string path = fuzz_name(in_, true);
        REGSAM access = kAccess[in_.below(4)];
        return KeyRequest{parent, path, access, model_.slots[1 + in_.below(kSlots - 1)]};
    }

    // Whether a create or an open succeeded; a failed one must give no handle.
    static bool opened(const char *function, LONG status, HKEY handle)
    {
        if (status == ERROR_SUCCESS) return true;
        FUZZ_REQUIRE(handle == nullptr, "%s failed with %ld but gave a handle", function, (long)status);
        return false;
    }

    void create()
    {
        auto [parent_copy, path, access, result] = key_request();
        HKEY handle = (HKEY)1;
        DWORD disposition = 0;
        LONG status = RegCreateKeyExA(parent_copy.handle, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      access, nullptr, &handle, &disposition);
        LONG want;
        int node = parent_copy.node;
        bool created = false;
        std::vector<std::string> parts = components(path);
        if (model_.scripted("RegCreateKeyExA", &want)) {
        } else if (!parent_copy.handle) {
            want = ERROR_INVALID_HANDLE;
        } else if (!path.empty() && path[0] == '\\') {
            want = ERROR_BAD_PATHNAME;
        } else if (!parts.empty() && parts[0].size() > kMaxComponent && model_.child(node, parts[0]) < 0) {
            want = ERROR_INVALID_PARAMETER; // nothing to create before the failure
        } else if (!model_.nodes[node].alive) {
            want = ERROR_KEY_DELETED;
        } else {
            want = ERROR_SUCCESS;
            for (const std::string &part : parts) {
                int next = model_.child(node, part);
                if (next < 0) {
                    if (part.size() > kMaxComponent) {
                        want = ERROR_INVALID_PARAMETER;
                        break;
                    }
                    next = (int)model_.nodes.size();
                    model_.nodes.push_back(Node{part, node});
                    model_.nodes[node].children[folded(part)] = next;
                    created = true;
                }
                node = next;
            }
        }
        EXPECT_STATUS(status, want, "RegCreateKeyExA");
        if (!opened("RegCreateKeyExA", status, handle)) return;
        FUZZ_REQUIRE(disposition == (created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY),
                     "RegCreateKeyExA(\"%s\"): disposition %u", path.c_str(), disposition);
        keep(result, Slot{handle, node, access});
    }

    void open()
    {
        auto [parent_copy, path, access, result] = key_request();
        HKEY handle = (HKEY)1;
        LONG status = RegOpenKeyExA(parent_copy.handle, path.c_str(), 0, access, &handle);
        LONG want;
        int node = parent_copy.node;
        if (model_.scripted("RegOpenKeyExA", &want)) {
        } else if (!parent_copy.handle) {
            want = ERROR_INVALID_HANDLE;
        } else if (path.empty() && is_root(parent_copy)) {
            want = ERROR_SUCCESS;
        } else if (!path.empty() && path[0] == '\\') {
            want = ERROR_BAD_PATHNAME;
        } else {
            want = ERROR_SUCCESS;
            for (const std::string &part : components(path)) {
                node = node < 0 ? -1 : model_.child(node, part);
                if (node < 0) break;
            }
            if (node < 0 || !model_.nodes[node].alive)
                want = model_.nodes[parent_copy.node].alive ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        }
        EXPECT_STATUS(status, want, "RegOpenKeyExA");
        if (!opened("RegOpenKeyExA", status, handle)) return;
        if (path.empty() && is_root(parent_copy)) {
            FUZZ_REQUIRE(handle == HKEY_CURRENT_USER, "RegOpenKeyExA(HKCU, \"\") gave a new handle");
            keep(result, Slot{handle, 0, KEY_ALL_ACCESS});
            return;
        }
        keep(result, Slot{handle, node, access});
    }

    void set_value()
    {
        Slot &s = slot();
        bool null_name = in_.byte() % 8 == 0;
        std::string name = null_name ? std::string() : fuzz_name(in_, false);
        static const DWORD kTypes[] = {REG_DWORD, REG_SZ, REG_BINARY, REG_QWORD, REG_NONE};
        DWORD type = kTypes[in_.below(5)];
        std::string data(in_.below(9), '\0');
        for (char &c : data) c = (char)in_.byte();
        LONG status = RegSetValueExA(s.handle, null_name ? nullptr : name.c_str(), 0, type,
                                     data.empty() ? nullptr : (const BYTE *)data.data(), (DWORD)data.size());
        LONG want;
        if (model_.scripted("RegSetValueExA", &want)) {
        } else if ((want = usable(s, KEY_SET_VALUE)) != ERROR_SUCCESS) {
            // A name too long through a handle without the right: which of the two checks comes
            // first is not documented, so either answer passes.
            if (want == ERROR_ACCESS_DENIED && name.size() > kMaxValueName &&
                status == ERROR_INVALID_PARAMETER)
                want = status;
        } else if (name.size() > kMaxValueName) {
            want = ERROR_INVALID_PARAMETER;
        } else if (!model_.nodes[s.node].alive) {
            want = ERROR_KEY_DELETED;
        } else {
            auto &values = model_.nodes[s.node].values;
            auto found = values.find(folded(name));
            if (found == values.end())
                values[folded(name)] = Value{name, type, data};
            else
                found->second = Value{found->second.name, type, data}; // the first spelling stays
        }
        EXPECT_STATUS(status, want, "RegSetValueExA");
    }

    void query_value()
    {
        Slot &s = slot();
        std::string name = fuzz_name(in_, false);
        uint8_t choice = in_.byte();
        bool with_buffer = choice & 0x80;
        DWORD room = choice & 0x0F;
        BYTE buffer[16];
        memset(buffer, 0xEE, sizeof buffer);
        DWORD type = 0xEEEE, size = room;
        LONG status =
            RegQueryValueExA(s.handle, name.c_str(), nullptr, &type, with_buffer ? buffer : nullptr, &size);
        LONG want;
        const Value *value = nullptr;
        if (model_.scripted("RegQueryValueExA", &want)) {
        } else if ((want = usable(s, KEY_QUERY_VALUE)) != ERROR_SUCCESS) {
        } else if (!model_.nodes[s.node].alive) {
            want = ERROR_KEY_DELETED;
        } else {
            auto &values = model_.nodes[s.node].values;
            auto found = values.find(folded(name));
            if (found == values.end()) {
                want = ERROR_FILE_NOT_FOUND;
            } else {
                value = &found->second;
                want = with_buffer && room < value->data.size() ? ERROR_MORE_DATA : ERROR_SUCCESS;
            }
        }
        EXPECT_STATUS(status, want, "RegQueryValueExA");
        if (!value) return;
        FUZZ_REQUIRE(type == value->type && size == value->data.size(),
                     "RegQueryValueExA(\"%s\"): type %u size %u, the model says %u and %zu", name.c_str(),
                     type, size, value->type, value->data.size());
        if (with_buffer && status == ERROR_SUCCESS)
            FUZZ_REQUIRE(memcmp(buffer, value->data.data(), value->data.size()) == 0 &&
                             (room == value->data.size() || buffer[value->data.size()] == 0xEE),
                         "RegQueryValueExA(\"%s\"): other data than stored", name.c_str());
    }

    void delete_value()
    {
        Slot &s = slot();
        std::string name = fuzz_name(in_, false);
        LONG status = RegDeleteValueA(s.handle, name.c_str());
        LONG want;
        if (model_.scripted("RegDeleteValueA", &want)) {
        } else if ((want = usable(s, KEY_SET_VALUE)) != ERROR_SUCCESS) {
        } else if (!model_.nodes[s.node].alive) {
            want = ERROR_KEY_DELETED;
        } else {
            want = model_.nodes[s.node].values.erase(folded(name)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        }
        EXPECT_STATUS(status, want, "RegDeleteValueA");
    }

    // The node a path names below a slot's key, or the status that says why there is none.
    LONG find(const Slot &s, const std::string &path, int *node)
    {
        if (!s.handle) return ERROR_INVALID_HANDLE;
        if (!path.empty() && path[0] == '\\') return ERROR_BAD_PATHNAME;
        int at = s.node;
        for (const std::string &part : components(path)) {
            at = model_.nodes[at].alive ? model_.child(at, part) : -1;
            if (at < 0) return model_.nodes[s.node].alive ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        }
        *node = at;
        return ERROR_SUCCESS;
    }

    void delete_key()
    {
        Slot &s = slot();
        std::string path = fuzz_name(in_, true);
        LONG status = RegDeleteKeyA(s.handle, path.c_str());
        LONG want;
        int node = -1;
        if (model_.scripted("RegDeleteKeyA", &want)) {
        } else if ((want = find(s, path, &node)) != ERROR_SUCCESS) {
        } else if (!model_.nodes[node].alive) {
            want = ERROR_KEY_DELETED;
        } else if (node == 0 || !model_.nodes[node].children.empty()) {
            want = ERROR_ACCESS_DENIED; // the root, or a key with subkeys
        } else {
            model_.remove(node);
        }
        EXPECT_STATUS(status, want, "RegDeleteKeyA");
    }

    void delete_tree()
    {
        Slot &s = slot();
        bool whole = in_.byte() & 1;
        std::string path = whole ? fuzz_name(in_, true) : std::string();
        if (path.empty()) whole = false;
        LONG status = RegDeleteTreeA(s.handle, whole ? path.c_str() : nullptr);
        LONG want;
        int node = -1;
        if (model_.scripted("RegDeleteTreeA", &want)) {
        } else if (!whole) {
            if (!s.handle)
                want = ERROR_INVALID_HANDLE;
            else if (!model_.nodes[s.node].alive)
                want = ERROR_KEY_DELETED;
            else {
                want = ERROR_SUCCESS;
                Node &key = model_.nodes[s.node];
                for (auto &entry : key.children) model_.kill(entry.second);
                key.children.clear();
                key.values.clear();
            }
        } else if ((want = find(s, path, &node)) != ERROR_SUCCESS) {
        } else if (node == 0) {
            want = ERROR_ACCESS_DENIED;
        } else if (!model_.nodes[node].alive) {
            want = ERROR_KEY_DELETED;
        } else {
            model_.remove(node);
        }
        EXPECT_STATUS(status, want, "RegDeleteTreeA");
    }

    void close()
    {
        Slot &s = slot();
        LONG status = RegCloseKey(s.handle);
        LONG want;
        if (model_.scripted("RegCloseKey", &want)) {
            EXPECT_STATUS(status, want, "RegCloseKey");
            return;
        }
        EXPECT_STATUS(status, s.handle ? ERROR_SUCCESS : ERROR_INVALID_HANDLE, "RegCloseKey");
        if (!is_root(s)) s.handle = nullptr;
    }

    void script_failure()
    {
        const char *function = kFunctions[in_.below(8)];
        LONG status = kScriptedStatus[in_.below(3)];
        StandinRegFailNext(function, status);
        model_.failures[function] = status;
    }

    // The key open as `key` holds exactly the model node's subkeys (names as first spelt) and values.
    void compare(HKEY key, int node, const std::string &where)
    {
        const Node &model = model_.nodes[node];
        std::map<std::string, std::string> subkeys; // folded -> spelling
        for (DWORD i = 0;; ++i) {
            char name[300];
            DWORD size = sizeof name;
            LONG status = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            EXPECT_STATUS(status, ERROR_SUCCESS, "RegEnumKeyExA");
            subkeys[folded(name)] = name;
        }
        FUZZ_REQUIRE(subkeys.size() == model.children.size(), "%s: %zu subkeys, the model says %zu",
                     where.c_str(), subkeys.size(), model.children.size());
        for (const auto &entry : model.children) {
            const Node &child = model_.nodes[entry.second];
            auto found = subkeys.find(entry.first);
            FUZZ_REQUIRE(found != subkeys.end() && found->second == child.name, "%s: subkey \"%s\" missing",
                         where.c_str(), child.name.c_str());
            HKEY opened;
            EXPECT_STATUS(RegOpenKeyExA(key, child.name.c_str(), 0, KEY_READ, &opened), ERROR_SUCCESS,
                          "RegOpenKeyExA");
            compare(opened, entry.second, where + "\\" + child.name);
            RegCloseKey(opened);
        }
        size_t values = 0;
        for (DWORD i = 0;; ++i, ++values) {
            static char name[kMaxValueName + 2];
            BYTE data[16];
            DWORD name_size = sizeof name, data_size = sizeof data, type = 0;
            LONG status = RegEnumValueA(key, i, name, &name_size, nullptr, &type, data, &data_size);
            if (status == ERROR_NO_MORE_ITEMS) break;
            EXPECT_STATUS(status, ERROR_SUCCESS, "RegEnumValueA");
            auto found = model.values.find(folded(name));
            FUZZ_REQUIRE(found != model.values.end(), "%s: value \"%s\" is not in the model", where.c_str(),
                         name);
            const Value &value = found->second;
            FUZZ_REQUIRE(
                value.name == name && value.type == type && value.data.size() == data_size &&
                    memcmp(value.data.data(), data, data_size) == 0,
                "%s: value \"%s\" (type %u, %u bytes) differs from the model's \"%s\" (type %u, %zu bytes)",
                where.c_str(), name, type, data_size, value.name.c_str(), value.type, value.data.size());
        }
        FUZZ_REQUIRE(values == model.values.size(), "%s: %zu values, the model says %zu", where.c_str(),
                     values, model.values.size());
    }

    Bytes &in_;
    Model model_;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    StandinRegUseStore((scratch_folder() + "/registry.db").c_str(), FALSE);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Each input starts from an empty HKEY_CURRENT_USER in the same store file.
    StandinRegFailNext(nullptr, 0);
    FUZZ_REQUIRE(RegDeleteTreeA(HKEY_CURRENT_USER, nullptr) == ERROR_SUCCESS,
                 "cannot empty HKEY_CURRENT_USER");
    Bytes in(data, size);
    Run run(in);
    for (int steps = 0; steps < 64 && !in.empty(); ++steps) run.step();
    run.finish();
    return 0;
}
