#include "response/response_model.h"

namespace tarvik {

void AppendPack(const TFilterPack& pack, TCombinedFilter& chain) {
  chain.push_back(pack);
}

}  // namespace tarvik
