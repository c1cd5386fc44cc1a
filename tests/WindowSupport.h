// Helpers of the window tests: scripted message boxes and save-as dialogs, and the program run
// as a second instance.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/MessageBox.h"
#include "app/SaveAs.h"
#include "tests/TestSupport.h"

namespace odomei::test {

// Records every message box and answers questions from a script. A question without a scripted
// answer, or an answer left over at the end, fails the test.
class ScriptedMessageBoxes {
public:
    ScriptedMessageBoxes();
    ~ScriptedMessageBoxes();
    void Answer(int answer) { m_answers.push_back(answer); }
    const std::vector<MessageBoxCall>& Calls() const { return m_calls; }
    std::vector<std::string> Texts() const;
    void Clear() { m_calls.clear(); }

private:
    std::vector<MessageBoxCall> m_calls;
    std::deque<int> m_answers;
    MessageBoxHook m_previous;
};

// Answers save-as dialogs with a fixed choice and records the requests.
class ScriptedSaveAs {
public:
    ScriptedSaveAs();
    ~ScriptedSaveAs();
    void Choose(const std::string& path, std::size_t type = 0) {
        m_choice = path;
        m_type = type;
    }
    void Cancel() { m_choice.clear(); }
    const std::vector<SaveAsRequest>& Requests() const { return m_requests; }

private:
    std::string m_choice;
    std::size_t m_type = 0;
    std::vector<SaveAsRequest> m_requests;
    SaveAsHook m_previous;
};

// Started with this variable naming a working folder, the test program runs no tests: it opens
// a main window there as a second instance of the program would, prints its messages and the
// read button's state, and ends (see the fault tests).
inline constexpr const char* kSecondInstanceEnv = "ODOMEI_TEST_SECOND_INSTANCE_DIR";
int RunAsSecondInstance(const std::string& dir);

}  // namespace odomei::test
