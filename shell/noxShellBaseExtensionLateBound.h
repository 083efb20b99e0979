// System entry points that the desktop shell offers only on some systems,
// wrapped so that callers always get an answer. This system has none of them,
// so every wrapper gives its fixed fallback: DPI queries answer 96, metrics
// come from the 96-DPI table, DPI contexts are null, and the shell wrappers
// answer E_NOTIMPL with cleared outputs (ShellILCombine: null). None raises.
#pragma once

#include <cstdint>

#include "shell/noxShellBaseExtensionCom.h"

using HWND = void*;
using DPI_AWARENESS_CONTEXT = void*;

// Each library is looked for once, on first use, under one lock; a missing
// library is not looked for again. True when it was found.
bool LoadUser32Entries();
bool LoadShell32Entries();
bool LoadWindowsCodecsEntries();
// How many library look-ups were made so far (one per library at most).
int LateBoundLoadCount();
void FreeLateBoundLibraries();

DPI_AWARENESS_CONTEXT SetThreadDpiContext(DPI_AWARENESS_CONTEXT AContext);
DPI_AWARENESS_CONTEXT GetThreadDpiContext();
bool DpiContextsEqual(DPI_AWARENESS_CONTEXT A, DPI_AWARENESS_CONTEXT B);
// The DPI of a window: 96, the DPI the program runs at (the GUI toolkit scales).
int GetWindowDpi(HWND AWindow);

// System metrics used for layout, at 96 DPI.
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYVTHUMB = 9;
constexpr int SM_CXHTHUMB = 10;
constexpr int SM_CXEDGE = 45;
constexpr int SM_CYEDGE = 46;
// The metric for a DPI; without a per-DPI query it is the metric at the
// system DPI (the scroll-bar and edge metrics above, else GetSystemMetrics of
// noxShellFormUtils) and ADpi is ignored.
int ScaledSystemMetric(int AIndex, int ADpi);

// Switching the thread's DPI context only matters in a library module; in the
// program nothing is switched and the saved context is null.
DPI_AWARENESS_CONTEXT EnterDpiContext(DPI_AWARENESS_CONTEXT AContext);
void RestoreDpiContext(DPI_AWARENESS_CONTEXT& ASaved);

// Item-id lists, shell folders and shell items are opaque here.
using PItemIDList = const void*;
void* ShellILCombine(PItemIDList AFirst, PItemIDList ASecond);
HRESULT ShellBindToParent(PItemIDList AList, const TGUID* AIID, void** AFolder, PItemIDList* ALast);
HRESULT ShellCreateItemFromParsingName(const char* APath, void* ABindContext, const TGUID* AIID, void** AItem);
HRESULT ShellCreateItemArrayFromDataObject(void* AData, const TGUID* AIID, void** AArray);
HRESULT ShellGetStockIconInfo(uint32_t AStockIconID, uint32_t AFlags, void* AInfo);
// The folder picked, or null (cancelled; here always null, the Qt dialogs pick folders).
void* BrowseForFolder(void* ABrowseInfo);
