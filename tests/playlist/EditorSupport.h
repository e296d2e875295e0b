#pragma once

// Stand-ins that answer the playlist editor's dialogs for the user.

#include <optional>
#include <string>
#include <vector>

#include "playlist/EditorServices.h"

class TScriptedDialogs : public TEditorDialogs {
public:
    bool OpenImage(const std::string& filter, std::vector<std::string>& fileNames) override {
        calls.push_back("OpenImage");
        lastFilter = filter;
        std::string one;
        if (!Answer(image, one)) {
            return false;
        }
        fileNames = {one};
        return true;
    }
    bool OpenList(std::string& fileName) override {
        calls.push_back("OpenList");
        return Answer(openList, fileName);
    }
    bool SaveList(std::string& fileName) override {
        calls.push_back("SaveList");
        savePreset = fileName;
        return Answer(saveList, fileName);
    }
    bool PickFolder(const std::string& title, const std::string& root, const std::string& start,
                    std::string& folder) override {
        calls.push_back("PickFolder");
        pickTitle = title;
        pickRoot = root;
        pickStart = start;
        return Answer(folderAnswer, folder);
    }
    TFolderUse ChooseFolderUse(const std::string& folder) override {
        calls.push_back("ChooseFolderUse " + folder);
        return folderUse;
    }

    // The answer each dialog gives: a name, or nothing for Cancel.
    std::optional<std::string> image, openList, saveList, folderAnswer;
    TFolderUse folderUse = TFolderUse::Import;
    std::vector<std::string> calls;
    std::string lastFilter, savePreset, pickTitle, pickRoot, pickStart;

private:
    static bool Answer(const std::optional<std::string>& a, std::string& out) {
        if (!a) {
            return false;
        }
        out = *a;
        return true;
    }
};

class TFixedFolders : public TKnownFolders {
public:
    std::string DocumentsFolder() const override {
        if (failing) {
            throw std::runtime_error("the shell failed");
        }
        return docs;
    }
    std::string WindowsDirectory() const override { return windows; }
    std::string docs, windows;
    bool failing = false;
};
