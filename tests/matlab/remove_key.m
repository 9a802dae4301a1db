function remove_key(key, previous_path)
%REMOVE_KEY  A test's cleanup: deletes HKCU\KEY with everything below it, through reg, and
%   restores the path PREVIOUS_PATH.
[~, ~] = system(['reg delete "HKCU\' key '" /f 2>&1']);
path(previous_path);
end
