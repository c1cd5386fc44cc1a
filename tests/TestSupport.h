// Helpers shared by the tests: temporary folders, file bytes, scripted message boxes.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/SaveAs.h"

namespace odomei::test {

// A fresh folder, removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Makes a folder the current directory for the length of a scope.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& dir);
    ~ScopedCwd();

private:
    std::string m_previous;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);

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
    void Choose(const std::string& path) { m_choice = path; }
    void Cancel() { m_choice.clear(); }
    const std::vector<SaveAsRequest>& Requests() const { return m_requests; }

private:
    std::string m_choice;
    std::vector<SaveAsRequest> m_requests;
    SaveAsHook m_previous;
};

}  // namespace odomei::test
