#pragma once

#include <QByteArray>

// The picture of the service's banner page, built into the service as a resource.
namespace BannerImage {

constexpr int kSide = 40;

// The kSide × kSide PNG bytes of the banner's "V" badge.
QByteArray png();

} // namespace BannerImage
