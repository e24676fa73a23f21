// Every export test runs against a private export folder, a recording
// opener and a fixed clock, and leaves the server's test hooks cleared.
#pragma once

#include "ExcelTestHooks.h"
#include "RecordBuilders.h"
#include "TExcelExport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <string>
#include <vector>

class ServerFixture : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        TExcelExport::SetExportFolder(Path("ZQ"));
        TExcelExport::SetOpener([this](const std::string& path) {
            opened.push_back(path);
            return openerWorks;
        });
        // 8 December 2026 14:05:09.
        TExcelExport::SetClock([] { return DateOf(2026, 12, 8) + TimeOf(14, 5, 9); });
    }
    void TearDown() override {
        ExcelTestHooks::SetCallHook({});
        ExcelTestHooks::SetServerComesUpEmpty(false);
        // Nothing after this test may reach the desktop or this fixture.
        TExcelExport::SetOpener([](const std::string& path) {
            ADD_FAILURE() << "opened outside a test: " << path;
            return false;
        });
        TExcelExport::SetClock({});
    }

    std::string Path(const std::string& name) const {
        return folder.filePath(QString::fromStdString(name)).toStdString();
    }

    QTemporaryDir folder;
    std::vector<std::string> opened;
    bool openerWorks = true;
};
