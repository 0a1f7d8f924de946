#include "failure_reasons.h"

#include "imaging/mgdip.h"

namespace app {
namespace {

// A number of pixels as a Chinese reader counts them: in units of 10^8 (亿)
// or 10^4 (万) where that is shorter.
QString Pixels(std::int64_t pixels)
{
    if (pixels >= 100'000'000)
        return QString::number(static_cast<double>(pixels) / 1e8, 'f', 2) + QStringLiteral(" 亿像素");
    if (pixels >= 10'000) return QString::number(static_cast<double>(pixels) / 1e4, 'g', 4) + QStringLiteral(" 万像素");
    return QString::number(pixels) + QStringLiteral(" 像素");
}

QString TooLarge(const mGdip::Failure& f)
{
    const QString size = QStringLiteral("图像为 %1 × %2 像素，").arg(f.width).arg(f.height);
    if (f.width > mGdip::kMaxImageWidth && f.width * f.height <= mGdip::PixelLimit())
        return size + QStringLiteral("过大：每行最多能有 %1 像素。").arg(mGdip::kMaxImageWidth);
    return size + QStringLiteral("过大：最多能打开约 %1。").arg(Pixels(mGdip::PixelLimit()));
}

// The kinds whose sentence is all there is to say. The technical detail
// some of them carry is the system's or a decoder's English, so it is left
// out.
struct Wording {
    mGdip::FailureKind kind;
    const char16_t* sentence;
};
constexpr Wording kWordings[] = {
    {mGdip::FailureKind::NotStarted, u"图像服务尚未启动。"},
    {mGdip::FailureKind::NotFound, u"文件不存在。"},
    {mGdip::FailureKind::IsFolder, u"这是一个文件夹，不是图像文件。"},
    {mGdip::FailureKind::NotRegularFile, u"这不是普通文件，而是设备、管道或套接字。"},
    {mGdip::FailureKind::CannotRead, u"无法读取该文件（没有读取权限，或读取时出错）。"},
    {mGdip::FailureKind::Empty, u"文件为空。"},
    {mGdip::FailureKind::UnknownFormat, u"这不是可以读取的图像格式。"},
    {mGdip::FailureKind::Truncated, u"文件已损坏：图像数据不完整，文件提前结束。"},
    {mGdip::FailureKind::Damaged, u"图像数据已损坏。"},
    {mGdip::FailureKind::OutOfMemory, u"内存不足。"},
    {mGdip::FailureKind::NoImage, u"没有可保存的图像。"},
    {mGdip::FailureKind::NoFileName, u"没有文件名。"},
    {mGdip::FailureKind::NoEncoder, u"没有可用的 PNG 编码器。"},
    {mGdip::FailureKind::TargetIsFolder, u"已有同名的文件夹占用了这个位置。"},
    {mGdip::FailureKind::TargetNotRegularFile, u"已有同名的符号链接或特殊文件占用了这个位置；它保持原样，没有被改动。"},
    {mGdip::FailureKind::CannotCreate, u"无法创建该文件（没有写入权限，或该位置不可写）。"},
    {mGdip::FailureKind::NoSpace, u"磁盘空间不足。"},
    {mGdip::FailureKind::FileSizeLimit, u"文件超过了本进程允许的文件大小上限。"},
    {mGdip::FailureKind::WriteFailed, u"写入文件时出错。"},
};

} // namespace

QString FailureReason(const mGdip::Failure& f)
{
    using mGdip::FailureKind;
    switch (f.kind) {
    case FailureKind::None: return {};
    case FailureKind::TooLarge: return TooLarge(f);
    // The detail is a path, already shown escaped.
    case FailureKind::FolderMissing: return QStringLiteral("文件夹 %1 不存在。").arg(f.detail);
    case FailureKind::NotAFolder: return QStringLiteral("%1 不是文件夹。").arg(f.detail);
    default: break;
    }
    for (const Wording& wording : kWordings)
        if (wording.kind == f.kind) return QString::fromUtf16(wording.sentence);
    return QStringLiteral("未知错误。");
}

} // namespace app
