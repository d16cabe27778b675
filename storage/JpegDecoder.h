// The thin layer over libjpeg-turbo that OImage decodes with: initialise a decoder record, read a
// JPEG's header from memory, decode a JPEG held in memory into RGB rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class JpegDecoder {
  public:
    // What the header of a JPEG says.
    struct Header {
        int width = 0;    // pixels
        int height = 0;   // pixels
        int channels = 0; // components in the file: 1 grey, 3 colour, 4 CMYK/YCCK
    };

    // Receives the library's warnings and error texts.
    using MessageSink = std::function<void(const std::string& text)>;

    JpegDecoder();
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // Sets up the decoder record; 0 on success, non-zero when the library cannot be initialised.
    int initialise();

    // Reads the header of the JPEG in data[0, size); 0 on success, non-zero for data that is not
    // a readable JPEG (empty, truncated before the first scan, not a JPEG at all).
    int readHeader(const uint8_t* data, size_t size, Header& header);

    // Decodes the JPEG in data[0, size) with the library's default settings (integer slow DCT,
    // fancy upsampling) into RGB: the top-left width x height pixels, rows top to bottom, 3
    // bytes per pixel (red, green, blue), no padding; a grey JPEG gives red = green = blue.
    // width and height must not exceed the JPEG's own. 0 on success; non-zero for corrupt or
    // truncated data and for JPEGs that are neither 1- nor 3-channel.
    int decode(const uint8_t* data, size_t size, uint8_t* pixels, int width, int height);

    // Where warnings and the text of a failure go; by default they are dropped (never stderr).
    void setMessageSink(MessageSink sink);

    // Why the last initialise, readHeader or decode failed, for people: libjpeg-turbo's own
    // message after "libjpeg-turbo: " (its fatal error, or the first warning that meant damage),
    // or what this layer refused (no data, a channel count it does not decode, a picture
    // smaller than asked for). Empty after success.
    std::string failure() const;

  private:
    struct Record;
    std::unique_ptr<Record> record;
};
