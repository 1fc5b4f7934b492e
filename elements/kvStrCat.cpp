#include "elements/kvStrCat.h"

void TKvStrCat::doStrCat(TData& d, std::uint16_t) {
  const std::string s1 = ReadString(d, Str1Point, Str1);
  const std::string s2 = ReadString(d, Str2Point, Str2);
  result_ = s1 + s2;
  PassOnString(d, onStrCat, result_);
}
