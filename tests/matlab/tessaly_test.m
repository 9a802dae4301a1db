% tessaly on a temporary key under HKCU, as a user calls it: the cases of the C++ suite, each
% value read back with winqueryreg. Run with runtests in MATLAB (each %% section is one test);
% under GNU Octave, tests/matlab/octave runs the same file through the stand-in host.
%
% Shared by every test: a key name of its own, deleted with everything below it when the test
% ends (reg is Windows' own tool, and the stand-in's under Octave).
[~, tag] = fileparts(tempname());
key = ['Software\OrlendaTessalyTest-' tag];
previous_path = path;
addpath(fileparts(mfilename('fullpath')));  % the helpers, wherever runtests starts
remove_key_when_done = onCleanup(@() remove_key(key, previous_path));
usage = sprintf('Four inputs required.\n\nExample:\ntessaly(''HKLM'',''Software\\MyProg'',''TheValue'',33);');
types = 'Inputs 1-3 must be a strings and input 4 must be a UINT32 (i.e. DWORD).';

%% The first element is stored as a REG_DWORD
cases = {
    'one',       uint32(33),          int32(33)
    'row',       uint32([5 6]),       int32(5)
    'matrix',    uint32([9 8; 7 6]),  int32(9)
    'zero',      uint32(0),           int32(0)
    'high bit',  uint32(3735928559),  typecast(uint32(3735928559), 'int32')
    'largest',   intmax('uint32'),    int32(-1)
};
for k = 1:size(cases, 1)
    tessaly('HKCU', key, cases{k, 1}, cases{k, 2});
    expect_equal(winqueryreg('HKEY_CURRENT_USER', key, cases{k, 1}), cases{k, 3}, cases{k, 1});
end
expect_equal(typecast(winqueryreg('HKEY_CURRENT_USER', key, 'high bit'), 'uint32'), ...
             uint32(3735928559), 'high bit as uint32');

%% Missing levels are created, and an existing value is replaced whatever the case of its names
tessaly('HKCU', [key '\Deep\Er'], 'TheValue', uint32(33));
expect_equal(winqueryreg('HKEY_CURRENT_USER', [key '\Deep\Er'], 'TheValue'), int32(33), 'created');
tessaly('HKCU', [upper(key) '\deep\ER'], 'thevalue', uint32(34));
expect_equal(winqueryreg('HKEY_CURRENT_USER', [key '\Deep\Er'], 'TheValue'), int32(34), 'replaced');

%% An empty value name writes the key's default value
tessaly('HKCU', key, '', uint32(35));
expect_equal(winqueryreg('HKEY_CURRENT_USER', key), int32(35), 'default value');

%% A wrong number of inputs gives the usage
expect_error(@() tessaly(), '', usage, 'no input');
expect_error(@() tessaly('HKCU'), '', usage, 'one input');
expect_error(@() tessaly('HKCU', key, 'V'), '', usage, 'three inputs');
expect_error(@() tessaly('HKCU', key, 'V', uint32(1), uint32(2)), '', usage, 'five inputs');

%% An input of the wrong class is refused, in every position
good = {'HKCU', key, 'V', uint32(1)};
wrong = {33, int32(33), true, {'HKCU'}, struct()};
for position = 1:4
    for w = 1:numel(wrong)
        inputs = good;
        inputs{position} = wrong{w};
        expect_error(@() tessaly(inputs{:}), '', types, ...
                     sprintf('input %d as %s', position, class(wrong{w})));
    end
end
expect_error(@() tessaly('HKCU', key, 'V', 33), '', types, 'a double value');

%% An empty uint32 array writes nothing
expect_error(@() tessaly('HKCU', key, 'Empty', zeros(1, 0, 'uint32')), '', ...
             'Input 4 must hold at least one UINT32 value.', 'empty value');

%% Only the five abbreviations, exactly, are base keys
for base = {'hkcu', 'HKEY_CURRENT_USER', ' HKCU', 'HKCU ', 'HKPD', ''}
    expect_error(@() tessaly(base{1}, key, 'V', uint32(1)), '', ...
                 ['Invalid Base Key specified : ''' base{1} ''''], ['base key ''' base{1} '''']);
end

%% A key Windows refuses to create names the key
expect_error(@() tessaly('HKCU', ['\' key], 'V', uint32(1)), '', ...
             ['Failed to Open/Create Key: ''\' key ''''], 'leading backslash');
