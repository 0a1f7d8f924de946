#include "failure_reasons.h"

#include "imaging/limits.h"

namespace app {
namespace {

// A number of pixels as a Chinese reader counts them: in units of 10^8 (亿)
// or 10^4 (万) where that is shorter.
QString Pixels(std::int64_t pixels)
{
    if (pixels >= 100'000'000) return QString::number(static_cast<double>(pixels) / 1e8, 'f', 2) + QStringLiteral(" 亿像素");
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

} // namespace

QString FailureReason(const mGdip::Failure& f)
{
    // The technical detail some kinds carry is the system's or a decoder's
    // English; only a path (already shown escaped) is kept.
    using mGdip::FailureKind;
    switch (f.kind) {
    case FailureKind::None: return {};
    case FailureKind::NotStarted: return QStringLiteral("图像服务尚未启动。");
    case FailureKind::NotFound: return QStringLiteral("文件不存在。");
    case FailureKind::IsFolder: return QStringLiteral("这是一个文件夹，不是图像文件。");
    case FailureKind::NotRegularFile: return QStringLiteral("这不是普通文件，而是设备、管道或套接字。");
    case FailureKind::CannotRead: return QStringLiteral("无法读取该文件（没有读取权限，或读取时出错）。");
    case FailureKind::Empty: return QStringLiteral("文件为空。");
    case FailureKind::UnknownFormat: return QStringLiteral("这不是可以读取的图像格式。");
    case FailureKind::Truncated: return QStringLiteral("文件已损坏：图像数据不完整，文件提前结束。");
    case FailureKind::Damaged: return QStringLiteral("图像数据已损坏。");
    case FailureKind::TooLarge: return TooLarge(f);
    case FailureKind::OutOfMemory: return QStringLiteral("内存不足。");
    case FailureKind::NoImage: return QStringLiteral("没有可保存的图像。");
    case FailureKind::NoFileName: return QStringLiteral("没有文件名。");
    case FailureKind::NoEncoder: return QStringLiteral("没有可用的 PNG 编码器。");
    case FailureKind::FolderMissing: return QStringLiteral("文件夹 %1 不存在。").arg(f.detail);
    case FailureKind::NotAFolder: return QStringLiteral("%1 不是文件夹。").arg(f.detail);
    case FailureKind::TargetIsFolder: return QStringLiteral("已有同名的文件夹占用了这个位置。");
    case FailureKind::TargetNotRegularFile:
        return QStringLiteral("已有同名的符号链接或特殊文件占用了这个位置；它保持原样，没有被改动。");
    case FailureKind::CannotCreate: return QStringLiteral("无法创建该文件（没有写入权限，或该位置不可写）。");
    case FailureKind::NoSpace: return QStringLiteral("磁盘空间不足。");
    case FailureKind::WriteFailed: return QStringLiteral("写入文件时出错。");
    }
    return QStringLiteral("未知错误。");
}

} // namespace app
