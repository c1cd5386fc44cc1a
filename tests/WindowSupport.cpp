#include "tests/WindowSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "app/MeterDlg.h"
#include "tests/FakeSerial.h"

namespace odomei::test {

ScriptedMessageBoxes::ScriptedMessageBoxes() {
    m_previous = SetMessageBoxHook([this](const MessageBoxCall& call) {
        m_calls.push_back(call);
        const unsigned type = call.flags & kMbTypeMask;
        if (type == kMbYesNo || type == kMbYesNoCancel || !m_answers.empty()) {
            if (m_answers.empty()) {
                ADD_FAILURE() << "unexpected question: " << call.text;
                return kIdNo;
            }
            const int answer = m_answers.front();
            m_answers.pop_front();
            return answer;
        }
        return kIdOk;
    });
}

ScriptedMessageBoxes::~ScriptedMessageBoxes() {
    EXPECT_TRUE(m_answers.empty()) << m_answers.size() << " scripted answers were not asked for";
    SetMessageBoxHook(std::move(m_previous));
}

std::vector<std::string> ScriptedMessageBoxes::Texts() const {
    std::vector<std::string> texts;
    for (const auto& c : m_calls) texts.push_back(c.text);
    return texts;
}

ScriptedSaveAs::ScriptedSaveAs() {
    m_previous = SetSaveAsHook([this](const SaveAsRequest& request) -> std::optional<SaveAsResult> {
        m_requests.push_back(request);
        if (m_choice.empty()) return std::nullopt;
        return SaveAsResult{m_choice, std::filesystem::path(m_choice).filename().string(), m_type};
    });
}

ScriptedSaveAs::~ScriptedSaveAs() { SetSaveAsHook(std::move(m_previous)); }

int RunAsSecondInstance(const std::string& dir) {
    ScopedCwd cwd(dir);
    RealSerialOpener real;
    SetMessageBoxHook([](const MessageBoxCall& call) {
        std::printf("MESSAGE %s\nDETAIL %s\n", call.text.c_str(), call.detail.c_str());
        return kIdOk;
    });
    CMeterDlg dlg;
    dlg.OnInitDialog();
    std::printf("READ %s\n", dlg.GetDlgItem(IDC_READ)->isEnabled() ? "enabled" : "disabled");
    return 0;
}

}  // namespace odomei::test
