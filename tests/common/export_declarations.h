// For programs that compile a plug-in's export file in (the export-level fuzz targets): every
// export of both families, declared with the interface's types. A program calls those its
// plug-in defines; the others stay unused declarations.
#pragma once

#include "plugin_api/plugin_api.h"

SPI_EXPORT spi::FunctionOf<spi::GetPluginInfoFn> GetPluginInfo;
SPI_EXPORT spi::FunctionOf<spi::IsSupportedFn> IsSupported;
SPI_EXPORT spi::FunctionOf<spi::GetPictureInfoFn> GetPictureInfo;
SPI_EXPORT spi::FunctionOf<spi::GetPictureFn> GetPicture;
SPI_EXPORT spi::FunctionOf<spi::GetPreviewFn> GetPreview;
SPI_EXPORT spi::FunctionOf<spi::GetArchiveInfoFn> GetArchiveInfo;
SPI_EXPORT spi::FunctionOf<spi::GetFileInfoFn> GetFileInfo;
SPI_EXPORT spi::FunctionOf<spi::GetFileFn> GetFile;
SPI_EXPORT spi::FunctionOf<spi::ConfigurationDlgFn> ConfigurationDlg;

SPI_EXPORT spi::FunctionOf<spi::GetPluginInfoWFn> GetPluginInfoW;
SPI_EXPORT spi::FunctionOf<spi::IsSupportedWFn> IsSupportedW;
SPI_EXPORT spi::FunctionOf<spi::GetPictureInfoWFn> GetPictureInfoW;
SPI_EXPORT spi::FunctionOf<spi::GetPictureWFn> GetPictureW;
SPI_EXPORT spi::FunctionOf<spi::GetPreviewWFn> GetPreviewW;
SPI_EXPORT spi::FunctionOf<spi::GetArchiveInfoWFn> GetArchiveInfoW;
SPI_EXPORT spi::FunctionOf<spi::GetFileInfoWFn> GetFileInfoW;
SPI_EXPORT spi::FunctionOf<spi::GetFileWFn> GetFileW;
