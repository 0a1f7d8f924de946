#pragma once
// Codecs talk: Qt's readers through qWarning, libtiff through its own
// global handlers. While a CodecMessages object is alive on a thread, what
// the codecs say on that thread is collected instead of printed, so it can
// become the reason of a failure (or be dropped for a file that loads). The
// handlers are installed when the first scope on any thread opens and the
// previous ones put back when the last one closes; messages of other threads
// meanwhile go where they went before.

#include <QString>
#include <QStringList>

namespace imaging::qt {

class CodecMessages {
public:
    CodecMessages();
    ~CodecMessages();
    CodecMessages(const CodecMessages&) = delete;
    CodecMessages& operator=(const CodecMessages&) = delete;

    // The first collected message that reads as missing or damaged data.
    QString damage() const;
    // The first collected message; empty when there was none.
    QString first() const { return messages_.isEmpty() ? QString() : messages_.first(); }
    int count() const { return static_cast<int>(messages_.size()); }

    // Adds to the innermost scope of this thread; false when there is none.
    static bool collect(const QString& message);

private:
    QStringList messages_;
    CodecMessages* outer_;
};

} // namespace imaging::qt
