#include "app/zorvflash/BlockCollector.h"

#include <utility>

void TBlockCollector::doWrite(TData& d, std::uint16_t) {
  const std::string text = AsString(d);
  if (text.size() == 1) ++imageBytes_;
  if (!Enabled) {
    const TData value = d;
    PassOn(d, onWrite, value);
    return;
  }
  if (ended_) return;
  if (text.size() == 1) {
    held_ += text;
    if (held_.size() >= BlockSize) Flush();
    return;
  }
  Flush();
  // The write just made may have failed, and the failure discarded the rest.
  if (!ended_) FireString(onWrite, text);
}

void TBlockCollector::doFlush(TData&, std::uint16_t) { Flush(); }

void TBlockCollector::doDiscard(TData&, std::uint16_t) {
  if (!Enabled) return;
  ended_ = true;
  held_.clear();
}

void TBlockCollector::Flush() {
  if (held_.empty() || ended_) return;
  // Taken out first: the write may fail, and the failure comes back here as doDiscard.
  std::string block = std::move(held_);
  held_.clear();
  FireString(onWrite, block);
}
