#pragma once

#include <QByteArray>

// The picture of the service's banner page: a small PNG made here, so that the service
// ships no image files and needs no image library.
namespace BannerImage {

constexpr int kSide = 40;

// A kSide × kSide true-colour PNG: the gold "V" badge of the banner.
QByteArray png();

} // namespace BannerImage
