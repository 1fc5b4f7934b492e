#include "elements/kvCRC16_32.h"

#include <memory>
#include <mutex>
#include <vector>

#include "winlib/Convert.h"

namespace zorv::crc {

// Types 0, 1, 2 and 4 share one table: the 16-bit types use the low half of its entries.
// Type 3 shifts the other way. Its entries' low 16 bits depend only on the polynomial's
// low 16 bits, so its tables are keyed by those.
enum class Order : std::uint8_t { none, reflected, normal };

struct Table {
  Order order;
  std::uint32_t poly;
  std::uint32_t entry[256];
};

}  // namespace zorv::crc

namespace {

using zorv::crc::Order;
using zorv::crc::Table;

Order OrderOf(std::uint8_t type) {
  switch (type) {
    case 0:
    case 1:
    case 2:
    case 4: return Order::reflected;
    case 3: return Order::normal;
    default: return Order::none;
  }
}

std::uint32_t KeyPoly(Order order, std::uint32_t poly) { return order == Order::normal ? (poly & 0xFFFFu) : poly; }

void Build(Table& t, Order order, std::uint32_t poly) {
  t.order = order;
  t.poly = poly;
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t r = 0;
    if (order == Order::reflected) {
      std::uint32_t b = i;
      for (int k = 0; k < 8; ++k) {
        r = ((b ^ r) & 1u) ? (r >> 1) ^ poly : r >> 1;
        b >>= 1;
      }
    } else {
      std::uint32_t b = i << 8;
      for (int k = 0; k < 8; ++k) {
        r = ((b ^ r) & 0x8000u) ? (r << 1) ^ poly : r << 1;
        b <<= 1;
      }
    }
    t.entry[i] = r;
  }
}

// Tables live for the rest of the run once built: an element may hold one while another
// thread looks up a different one. Past the limit (a scheme that keeps changing its
// polynomial) computations build a private table each time instead of growing the set.
class Registry {
 public:
  const Table* Find(Order order, std::uint32_t poly) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& t : tables_) {
      if (t->order == order && t->poly == poly) return t.get();
    }
    if (tables_.size() >= kLimit) return nullptr;
    auto t = std::make_unique<Table>();
    Build(*t, order, poly);
    tables_.push_back(std::move(t));
    return tables_.back().get();
  }

 private:
  static constexpr std::size_t kLimit = 64;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Table>> tables_;
};

Registry& Tables() {
  // Never destroyed: a reader or timer thread may still compute while the process ends.
  static Registry* registry = new Registry;
  return *registry;
}

// The byte of one hexadecimal pair (or of a lone last character): the low 8 bits of its
// hexadecimal value, read as far as it goes.
unsigned HexPair(const char* p, std::size_t n) {
  return static_cast<unsigned>(Hex2Int(p, n)) & 0xFFu;
}

template <class Feed>
void ForEachByte(const std::string& text, std::uint8_t inputMode, Feed&& feed) {
  const char* p = text.data();
  const std::size_t n = text.size();
  if (inputMode == 0) {
    for (std::size_t i = 0; i < n; ++i) feed(static_cast<unsigned char>(p[i]));
  } else {
    for (std::size_t i = 0; i < n; i += 2) feed(HexPair(p + i, n - i >= 2 ? 2 : 1));
  }
}

std::uint32_t Swap16(std::uint32_t r) { return ((r & 0xFFu) << 8) | ((r >> 8) & 0xFFu); }

// Hex2Int of ReadString(d, point, property), without copying the property when the
// point is unconnected (this runs once per image byte).
std::uint32_t ReadHex(TData& d, const TEventPoint& point, const std::string& property) {
  if (!point.Connected() && !property.empty()) return static_cast<std::uint32_t>(Hex2Int(property));
  return static_cast<std::uint32_t>(Hex2Int(ReadString(d, point, property)));
}

}  // namespace

void TKvCRC16_32::doCRC(TData& d, std::uint16_t) {
  std::string text = ReadString(d, Data, std::string());
  const std::uint32_t poly = ReadHex(d, PolynomialPoint, Polynomial);
  const std::uint32_t init = ReadHex(d, InitValuePoint, InitValue);
  const std::uint8_t type = CRCType;

  if (InputMode == 1 && text.find_first_of(" $") != std::string::npos) {
    std::string clean;
    clean.reserve(text.size());
    for (char c : text) {
      if (c != ' ' && c != '$') clean.push_back(c);
    }
    text.swap(clean);
  }

  std::uint32_t r = type == 4 ? init : (init & 0xFFFFu);
  const Order order = OrderOf(type);
  if (!text.empty() && order != Order::none) {
    const std::uint32_t key = KeyPoly(order, poly);
    const Table* table = table_.load(std::memory_order_acquire);
    Table own;  // filled only when the shared set is full
    if (!table || table->order != order || table->poly != key) {
      table = Tables().Find(order, key);
      if (table) {
        table_.store(table, std::memory_order_release);
      } else {
        Build(own, order, key);
        table = &own;
      }
    }
    const std::uint32_t* e = table->entry;
    if (type == 4) {
      ForEachByte(text, InputMode, [&](unsigned c) { r = e[(c ^ r) & 0xFFu] ^ (r >> 8); });
      r = ~r;
    } else if (type == 3) {
      ForEachByte(text, InputMode,
                  [&](unsigned c) { r = (e[c ^ (r >> 8)] & 0xFFFFu) ^ ((r << 8) & 0xFFFFu); });
    } else {
      ForEachByte(text, InputMode, [&](unsigned c) { r = (e[c ^ (r & 0xFFu)] & 0xFFFFu) ^ (r >> 8); });
      if (type == 1) r = Swap16(r);
      if (type == 2) r = Swap16(~r & 0xFFFFu);
    }
  }

  if (type != 4) {
    r &= 0xFFFFu;
    if (SwapResult != 0) r = Swap16(r);
  }
  PassOnString(d, onCRC, Int2Hex(r, type == 4 ? 8 : 4));
}
