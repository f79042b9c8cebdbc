#include "params/DcamImageSizes.h"

#include <iterator>

namespace vq {

const DcamImageSize DcamImageSizes[] = {
    {160, 120},                                                          // 0
    {320, 240},                                                          // 1
    {640, 480},   {640, 480},   {640, 480},   {640, 480},   {640, 480},  // 2 to 6
    {800, 600},   {800, 600},   {800, 600},   {800, 600},                // 7 to 10
    {1024, 768},  {1024, 768},  {1024, 768},  {1024, 768},               // 11 to 14
    {1280, 960},  {1280, 960},  {1280, 960},  {1280, 960},               // 15 to 18
    {1600, 1200}, {1600, 1200}, {1600, 1200}, {1600, 1200},              // 19 to 22
};

static_assert(std::size(DcamImageSizes) == DcamImageSizeCount);

}  // namespace vq
