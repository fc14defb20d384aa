// The members of a table record and how a record class lists them: a
// numeric member with a null state, the member types a column binds to, and
// the list of bindings a class's ExchangeFields fills, in binding order.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "recordlayer/DateTimeValue.h"

namespace rl {

// A numeric member with a null state. Constructed as 0 (not null); after
// BeginNewRow it is null until assigned. Tag keeps members of the same C++
// number but a different SQL type apart, so that binding one as the other
// does not compile.
template <class T, class Tag>
class Nullable {
  public:
    Nullable() = default;
    Nullable(T v) : value_(v), null_(false) {}  // NOLINT: members are assigned like plain numbers
    Nullable& operator=(T v) {
        value_ = v;
        null_ = false;
        return *this;
    }
    operator T() const { return value_; }  // NOLINT
    T Value() const { return value_; }
    bool IsNull() const { return null_; }
    void SetNull() {
        value_ = 0;
        null_ = true;
    }

  private:
    T value_ = 0;
    bool null_ = false;
};

// SQL integer.
using LongField = Nullable<std::int32_t, struct LongTag>;
// SQL small integer, used for counts.
using IntField = Nullable<std::int32_t, struct IntTag>;
// SQL tiny integer, flags and small codes.
using ByteField = Nullable<std::uint8_t, struct ByteTag>;

// The member a column is bound to; its type is the column's kind.
using FieldMember = std::variant<LongField*, IntField*, ByteField*, std::string*, DateTimeValue*>;

struct FieldBinding {
    const char* name;  // bracketed, as declared: "[GstAcct]"
    FieldMember member;
};

// Collects a class's bindings; ExchangeFields calls one method per column.
class FieldExchange {
  public:
    void Long(const char* name, LongField& member) { bindings_.push_back({name, &member}); }
    void Int(const char* name, IntField& member) { bindings_.push_back({name, &member}); }
    void Byte(const char* name, ByteField& member) { bindings_.push_back({name, &member}); }
    // Every text column is SQL type 12 (variable-length character), max 255, scale 0.
    void Text(const char* name, std::string& member) { bindings_.push_back({name, &member}); }
    void DateTime(const char* name, DateTimeValue& member) { bindings_.push_back({name, &member}); }

    const std::vector<FieldBinding>& Bindings() const { return bindings_; }
    void Reserve(std::size_t columns) { bindings_.reserve(columns); }
    std::vector<FieldBinding> TakeBindings() { return std::move(bindings_); }

  private:
    std::vector<FieldBinding> bindings_;
};

}  // namespace rl
