#include "support/ProdInfo.h"

namespace zarvex {

const TProductInfo ProductInfo = {
    "Zarvex",
    "2.30",
    "holtmark",
    "zarvex",
    "https://zarvex.holtmark.example/",
    "https://zarvex.holtmark.example/contact",
    "Copyright (C) 2024-2026 the Zarvex developers. Free software under the MIT licence.",
};

} // namespace zarvex
