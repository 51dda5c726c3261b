// The one record of product information: captions, the about box and the settings location.
#pragma once

#include <string>

namespace zarvex {

struct TProductInfo {
    std::string ProductName;
    std::string Version;
    std::string SettingsOrganization; // the settings live under organisation/application
    std::string SettingsApplication;
    std::string SiteAddress;
    std::string ContactAddress;
    std::string Notice;
};

extern const TProductInfo ProductInfo;

} // namespace zarvex
