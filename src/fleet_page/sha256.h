#ifndef KOVEX_FLEET_PAGE_SHA256_H_
#define KOVEX_FLEET_PAGE_SHA256_H_

#include <string>

// The SHA-256 digest of `bytes` in base64 (with padding), as a Content
// Security Policy names an inline script or style: 'sha256-<this>'.
std::string Sha256Base64(const std::string& bytes);

#endif  // KOVEX_FLEET_PAGE_SHA256_H_
