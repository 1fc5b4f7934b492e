#include "app/zorvflash/BlockCollector.h"

#include <atomic>
#include <utility>

void TBlockCollector::doWrite(TData& d, std::uint16_t) {
  // Every image byte of the upload comes through here: a text is looked at in place and,
  // without block writes, passed on as it is.
  std::string converted;
  if (KindOf(d) != kindString) converted = AsString(d);
  const std::string& text = KindOf(d) == kindString ? d.StrValue : converted;
  const bool imageByte = text.size() == 1;
  if (imageByte) imageBytes_.fetch_add(1, std::memory_order_relaxed);
  if (!Enabled) {
    PassOn(d, onWrite, d);
    return;
  }
  if (ended_) return;
  if (imageByte) {
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
