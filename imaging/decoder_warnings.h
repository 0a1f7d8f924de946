#pragma once
// Some decoders report damage only as a warning and still return a picture
// (a truncated JPEG comes back grey at the bottom). While a DecoderWarnings
// object is alive, the Qt messages of the current thread are collected instead
// of printed, so the loader can refuse such images.

#include <QString>
#include <QStringList>

namespace mGdip::detail {

class DecoderWarnings {
public:
    DecoderWarnings();
    ~DecoderWarnings();
    DecoderWarnings(const DecoderWarnings&) = delete;
    DecoderWarnings& operator=(const DecoderWarnings&) = delete;

    // The first collected message that means missing or damaged image data.
    QString damage() const;
    // The first collected message of any kind; empty when there was none.
    QString first() const { return messages_.isEmpty() ? QString() : messages_.first(); }

private:
    friend void CollectMessage(const QString& message);
    QStringList messages_;
    DecoderWarnings* outer_;
};

} // namespace mGdip::detail
