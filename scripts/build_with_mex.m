function build_with_mex(outdir)
%BUILD_WITH_MEX  Build Orlenda.mexw64 and tessaly.mexw64 with MATLAB's own mex, on Windows.
%   build_with_mex builds both plug-ins from this repository into its folder 'dist', beside
%   their help files (with the version from the file VERSION written in) and
%   functionSignatures.json; build_with_mex(OUTDIR) puts the files in OUTDIR instead.
%   Needs a C++ compiler set up for mex (mex -setup C++).
%
%   -compatibleArrayDims selects the 32-bit-dimensions API the sources are written for (the
%   _700 operations); mex then marks the files with that API version itself. The sources
%   include MATLAB's own mex.h: host/mex.h serves only the builds without MATLAB, so no -I.
root = fileparts(fileparts(mfilename('fullpath')));
if nargin < 1
    outdir = fullfile(root, 'dist');
end
if ~exist(outdir, 'dir')
    mkdir(outdir);
end
mex('-compatibleArrayDims', '-outdir', outdir, fullfile(root, 'pathname', 'Orlenda.cpp'));
mex('-compatibleArrayDims', '-outdir', outdir, fullfile(root, 'registry', 'tessaly.cpp'), '-ladvapi32');
version = strtrim(fileread(fullfile(root, 'VERSION')));
help_files = {fullfile(root, 'pathname', 'Orlenda.m'), fullfile(root, 'registry', 'tessaly.m')};
for k = 1:numel(help_files)
    [~, name] = fileparts(help_files{k});
    text = strrep(fileread(help_files{k}), '@PROJECT_VERSION@', version);
    out = fopen(fullfile(outdir, [name '.m']), 'w');
    fwrite(out, text);
    fclose(out);
end
copyfile(fullfile(root, 'release', 'functionSignatures.json'), outdir);
end
