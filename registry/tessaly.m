function tessaly(BaseKey, Key, ValueName, Value)
%TESSALY  Write a 32-bit number (REG_DWORD) into the Windows registry.
%   tessaly(BaseKey, Key, ValueName, Value)
%
%   tessaly stores Value(1) as the REG_DWORD value ValueName of the
%   registry key BaseKey\Key. Key is opened, or created with every
%   missing level; a value that exists already is replaced, whatever its
%   type. There is no output.
%
%   BaseKey    The root key, exactly one of (case matters, no spaces):
%                'HKLM'  HKEY_LOCAL_MACHINE   'HKCU'  HKEY_CURRENT_USER
%                'HKCR'  HKEY_CLASSES_ROOT    'HKCC'  HKEY_CURRENT_CONFIG
%                'HKU'   HKEY_USERS
%   Key        The subkey path below BaseKey, levels separated by '\'
%              (no leading '\').
%   ValueName  The value's name; '' writes the key's default value.
%   Value      A uint32 array; only its first element is written.
%
%   BaseKey, Key and ValueName must be char: a string ("HKCU") is
%   refused like a number. Pass char(s) instead.
%
%   Writing below HKLM, HKCR, HKCC or HKU usually needs an elevated
%   MATLAB; HKCU does not. A 64-bit MATLAB writes the 64-bit view.
%
%   Examples:
%     tessaly('HKCU', 'Software\MyProg', 'TheValue', uint32(33))
%     tessaly('HKCU', 'Software\MyProg', 'Flags', uint32([5 6]))  % 5
%     tessaly('HKCU', 'Software\MyProg', '', uint32(7))   % default value
%     tessaly('HKCU', char(key), char(name), uint32(n))   % from strings
%
%   Reading the value back with MATLAB's own WINQUERYREG, which needs
%   the long root name and gives an int32:
%     v = winqueryreg('HKEY_CURRENT_USER', 'Software\MyProg', 'TheValue')
%         % v = int32(33)
%     typecast(v, 'uint32')      % for values of 2^31 and above
%
%   Errors (messages only; they carry no identifier):
%     Four inputs required. (followed by a usage example)
%     Inputs 1-3 must be a strings and input 4 must be a UINT32 (i.e.
%     DWORD).
%         (e.g. Value given as a double: 33 instead of uint32(33))
%     Input 4 must hold at least one UINT32 value.
%     Invalid Base Key specified : '<BaseKey>'
%     Failed to Open/Create Key: '<Key>'
%         (no access, or an invalid path such as one starting with '\')
%     Failed to Set Value For Key '<Key>', Value: <ValueName>
%
%   tessaly is a compiled MEX function (tessaly.mexw64, 64-bit Windows);
%   this file holds its help text. Version @PROJECT_VERSION@.
%
%   See also WINQUERYREG.

% Runs only when MATLAB finds no compiled tessaly beside this file.
error('tessaly:missingMexFile', ...
      'The compiled file %s is missing: put it beside %s.', ...
      ['tessaly.' mexext], [mfilename('fullpath') '.m']);
