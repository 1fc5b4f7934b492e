// The flasher's front: what it concludes from the events the scheme fires at it.
#include <gtest/gtest.h>

#include "app/zorvflash/FlashScheme.h"
#include "tests/support/probes.h"

namespace {

using namespace zorv::test;
using Outcome = TFlashFront::Outcome;

TEST(FlashFront, SuccessNeedsEveryByteOnTheLine) {
  TObjPtr<TFlashFront> f(New<TFlashFront>());
  TData vers = StrData("VERS"), four = IntData(4);
  f->doSent(vers, 0);
  f->doWritten(four, 0);
  EXPECT_TRUE(f->writesComplete());
  TData pusk = StrData("PUSK"), two = IntData(2);
  f->doSent(pusk, 0);
  f->doWritten(two, 0);  // a write that timed out half way
  EXPECT_FALSE(f->writesComplete());
  TData none = IntData(0);
  f->doSent(pusk, 0);
  f->doWritten(none, 0);
  EXPECT_FALSE(f->writesComplete());
  EXPECT_EQ(f->writesRequested(), 3);
}

TEST(FlashFront, TheFirstOutcomeCountsAndFailureAfterSuccessIsIgnored) {
  TObjPtr<TFlashFront> f(New<TFlashFront>());
  TData d;
  EXPECT_EQ(f->WaitChange(Outcome::Pending, 0), Outcome::Pending);
  f->doFound(d, 0);
  f->doNotFound(d, 0);  // only a pending identification can turn into "not found"
  EXPECT_EQ(f->outcome(), Outcome::Found);
  f->doDone(d, 0);
  f->doFailed(d, 0);
  EXPECT_EQ(f->outcome(), Outcome::Done);
  TData text = StrData("status");
  f->doStatus(text, 0);
  EXPECT_EQ(f->status(), "status");
}

}  // namespace
