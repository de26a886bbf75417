#include "trvcore/trvnetwork/NewsPictureSource.h"

#include "trvcore/trvnetwork/BmpDecoder.h"

bool NewsPictureSource::picture(NewsPicture& out) {
    size_t size = 0;
    const uint8_t* data = download_.fetch(size);
    out.clear();
    return data && BmpDecoder::decode(data, size, out);
}
