// Platform services for the batch with each one replaceable by a test: an empty function falls
// back to the system's service.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

#include "app/dialogs/batch.h"

namespace vorn::test {

class FakeBatchPlatform : public TBatchPlatform {
public:
    std::function<QString(QWidget* owner, const QString& title, const QString& initialFolder,
                          bool allowNewFolder)>
        browseFolder;
    std::function<QString()> documentsLocation;
    std::function<std::uint32_t()> tickCount;

    QString BrowseFolder(QWidget* owner, const QString& title, const QString& initialFolder,
                         bool allowNewFolder) override {
        return browseFolder ? browseFolder(owner, title, initialFolder, allowNewFolder)
                            : TBatchPlatform::BrowseFolder(owner, title, initialFolder, allowNewFolder);
    }
    QString DocumentsLocation() override {
        return documentsLocation ? documentsLocation() : TBatchPlatform::DocumentsLocation();
    }
    std::uint32_t TickCount() override { return tickCount ? tickCount() : TBatchPlatform::TickCount(); }
};

} // namespace vorn::test
