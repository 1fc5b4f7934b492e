// The flasher's front: what it concludes from the events the scheme fires at it.
#include <gtest/gtest.h>

#include "app/zorvflash/FlashScheme.h"
#include "tests/support/probes.h"

namespace {

using namespace zorv::test;
using Outcome = TFlashFront::Outcome;

TEST(FlashFront, CountsWriteRequestsAndRemembersTheIdentification) {
  TObjPtr<TFlashFront> f(New<TFlashFront>());
  TData vers = StrData("VERS"), d;
  f->doSent(vers, 0);
  EXPECT_EQ(f->writesRequested(), 1);
  EXPECT_FALSE(f->identified());
  f->doFound(d, 0);
  f->doFailed(d, 0);  // a failure right after the identification
  EXPECT_EQ(f->outcome(), Outcome::Failed);
  EXPECT_TRUE(f->identified());
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
