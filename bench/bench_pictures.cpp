#include <cstdio>

void benchPictures()
{
}
